#include "fake_relay.hpp"

namespace zentrabo::testing {

FakeRelayConnection::FakeRelayConnection(TestLoop& loop, asio::ssl::stream<asio::ip::tcp::socket> stream)
    : loop_(loop), stream_(std::move(stream)) {}

bool FakeRelayConnection::read(asio::mutable_buffer buffer) {
    bool done = false;
    asio::error_code result;
    asio::async_read(stream_, buffer, [&](asio::error_code error, std::size_t) {
        result = error;
        done = true;
    });
    return loop_.until([&] { return done; }) && !result;
}

std::optional<std::string> FakeRelayConnection::readLine() {
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        char byte = 0;
        if (!read(asio::buffer(&byte, 1))) return std::nullopt;
        pending_.push_back(byte);
    }
}

std::optional<FakeRelayFrame> FakeRelayConnection::readFrame() {
    RelayFrameHeaderBytes header{};
    if (!read(asio::buffer(header))) return std::nullopt;
    const RelayFrameHeader decoded = decodeRelayFrameHeader(header);
    FakeRelayFrame frame{decoded.type, decoded.tunnelID, std::string(decoded.payloadLength, '\0')};
    if (!frame.payload.empty() && !read(asio::buffer(frame.payload))) return std::nullopt;
    return frame;
}

void FakeRelayConnection::write(const std::vector<std::uint8_t>& bytes) {
    bool done = false;
    asio::async_write(stream_, asio::buffer(bytes), [&](asio::error_code, std::size_t) { done = true; });
    loop_.until([&] { return done; });
}

void FakeRelayConnection::writeFrame(RelayFrameType type, const RelayTunnelID& tunnelID, const std::string& payload) {
    write(makeRelayFrame(
        type, tunnelID,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size())));
}

bool FakeRelayConnection::waitForEnd() {
    char byte = 0;
    for (;;) {
        bool done = false;
        asio::error_code result;
        stream_.async_read_some(asio::buffer(&byte, 1), [&](asio::error_code error, std::size_t) {
            result = error;
            done = true;
        });
        if (!loop_.until([&] { return done; })) return false;
        if (result) return true;
    }
}

void FakeRelayConnection::close() {
    asio::error_code ignored;
    stream_.lowest_layer().close(ignored);
}

FakeRelay::FakeRelay(TestLoop& loop, const TestCertificateAuthority& authority)
    : loop_(loop), tls_(asio::ssl::context::tls_server), acceptor_(loop.io(), {asio::ip::address_v4::loopback(), 0}) {
    SSL_CTX_set_min_proto_version(tls_.native_handle(), TLS1_3_VERSION);
    tls_.use_certificate_chain(asio::buffer(authority.serverCertificatePEM));
    tls_.use_private_key(asio::buffer(authority.serverKeyPEM), asio::ssl::context::pem);
}

asio::ip::tcp::socket FakeRelay::acceptSilently() {
    asio::ip::tcp::socket socket(loop_.io());
    bool done = false;
    acceptor_.async_accept(socket, [&](asio::error_code) { done = true; });
    loop_.until([&] { return done; });
    return socket;
}

std::unique_ptr<FakeRelayConnection> FakeRelay::accept() {
    asio::ssl::stream<asio::ip::tcp::socket> stream(acceptSilently(), tls_);
    bool done = false;
    asio::error_code result;
    stream.async_handshake(asio::ssl::stream_base::server, [&](asio::error_code error) {
        result = error;
        done = true;
    });
    if (!loop_.until([&] { return done; }) || result) return nullptr;
    return std::make_unique<FakeRelayConnection>(loop_, std::move(stream));
}

}  // namespace zentrabo::testing
