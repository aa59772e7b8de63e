#include "relay/relay_control_session.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/crypto.h>

#include "model/task_failure.hpp"
#include "relay/relay_error.hpp"
#include "relay/relay_frame.hpp"
#include "relay/relay_registration.hpp"
#include "relay/relay_tls.hpp"
#include "relay/relay_tunnel_mux.hpp"

namespace zentrabo {

namespace {

using asio::redirect_error;
using asio::use_awaitable;

// A relay that vanishes without closing (a dead route, a sleeping NAT) is
// noticed by TCP keepalive: probes after 30 s of silence, every 10 s, given
// up after 3 unanswered.
void enableKeepalive(asio::ip::tcp::socket& socket) {
    asio::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPIDLE>(30), ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPINTVL>(10), ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPCNT>(3), ignored);
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
}

std::string lostMessage(const asio::error_code& error) {
    if (error == asio::error::eof || error == asio::ssl::error::stream_truncated) {
        return "The relay closed the connection.";
    }
    return "The relay connection was lost: " + error.message() + ".";
}

}  // namespace

RelayControlSession::RelayControlSession(const asio::any_io_executor& executor, std::shared_ptr<asio::ssl::context> tls,
                                         platform::Clock& clock, HalvardineSecurity& security,
                                         HalvardineRelayConfiguration configuration, Events events)
    : executor_(executor),
      tls_(std::move(tls)),
      clock_(clock),
      security_(security),
      configuration_(std::move(configuration)),
      events_(std::move(events)),
      resolver_(executor),
      stream_(executor, *tls_),
      mux_(std::make_shared<RelayTunnelMux>(executor, configuration_.localServerPort)) {}

RelayControlSession::~RelayControlSession() {
    OPENSSL_cleanse(configuration_.secret.data(), configuration_.secret.size());
}

void RelayControlSession::start() {
    deadline_ = clock_.schedule(executor_, relayRegistrationTimeout, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->fail("The relay did not answer within 20 seconds.");
    });
    asio::co_spawn(executor_, run(), [self = shared_from_this()](const std::exception_ptr& failure) {
        if (failure) self->fail("The relay connection failed: " + failureText(failure));
    });
}

void RelayControlSession::cancel() {
    if (finished_) return;
    finished_ = true;
    stop();
}

void RelayControlSession::fail(const std::string& message) {
    if (finished_) return;
    finished_ = true;
    stop();
    if (events_.ended) events_.ended(message);
}

void RelayControlSession::stop() {
    deadline_.cancel();
    resolver_.cancel();
    asio::error_code ignored;
    stream_.lowest_layer().close(ignored);
    mux_->close();
}

asio::awaitable<void> RelayControlSession::run() {
    auto self = shared_from_this();
    if (!co_await connect() || !co_await registerWithRelay()) co_return;
    deadline_.cancel();
    if (events_.registered) events_.registered();
    asio::co_spawn(executor_, writeFrames(), [self](std::exception_ptr failure) {
        if (failure) self->fail("The relay connection failed while sending.");
    });
    co_await readFrames();
}

asio::awaitable<bool> RelayControlSession::connect() {
    asio::error_code error;
    const auto endpoints = co_await resolver_.async_resolve(
        configuration_.host, std::to_string(configuration_.controlPort), redirect_error(use_awaitable, error));
    if (finished_) co_return false;
    if (error) {
        fail("The relay host could not be resolved: " + error.message() + ".");
        co_return false;
    }
    co_await asio::async_connect(stream_.lowest_layer(), endpoints, redirect_error(use_awaitable, error));
    if (finished_) co_return false;
    if (error) {
        fail("The relay could not be reached: " + error.message() + ".");
        co_return false;
    }
    enableKeepalive(stream_.next_layer());
    if (!prepareRelayTlsStream(stream_.native_handle(), configuration_.host)) {
        fail("The relay host name cannot be checked.");
        co_return false;
    }
    co_await stream_.async_handshake(asio::ssl::stream_base::client, redirect_error(use_awaitable, error));
    if (finished_) co_return false;
    if (error) {
        fail(relayHandshakeFailureMessage(stream_.native_handle(), error));
        co_return false;
    }
    co_return true;
}

asio::awaitable<bool> RelayControlSession::registerWithRelay() {
    std::string line;
    try {
        line = makeSignedRelayRegistrationLine(configuration_, security_);
    } catch (const std::exception& error) {
        fail(std::string("The relay registration could not be signed: ") + error.what());
        co_return false;
    }
    asio::error_code error;
    co_await asio::async_write(stream_, asio::buffer(line), redirect_error(use_awaitable, error));
    OPENSSL_cleanse(line.data(), line.size());  // it carries the secret
    if (finished_) co_return false;
    if (error) {
        fail(lostMessage(error));
        co_return false;
    }
    co_return true;
}

asio::awaitable<void> RelayControlSession::readFrames() {
    auto self = shared_from_this();
    RelayFrameHeaderBytes headerBytes{};
    while (!finished_) {
        co_await mux_->waitUntilAcceptingFrames();
        if (finished_) co_return;
        asio::error_code error;
        co_await asio::async_read(stream_, asio::buffer(headerBytes), redirect_error(use_awaitable, error));
        if (finished_) co_return;
        if (error) {
            fail(lostMessage(error));
            co_return;
        }
        try {
            // The length is checked before the payload buffer exists.
            const RelayFrameHeader header = decodeRelayFrameHeader(headerBytes);
            std::vector<std::uint8_t> payload(header.payloadLength);
            if (!payload.empty()) {
                co_await asio::async_read(stream_, asio::buffer(payload), redirect_error(use_awaitable, error));
                if (finished_) co_return;
                if (error) {
                    fail(lostMessage(error));
                    co_return;
                }
            }
            mux_->handleFrame(header, std::move(payload));
        } catch (const HalvardineRelayProtocolError& protocolError) {
            fail(protocolError.what());
            co_return;
        }
    }
}

asio::awaitable<void> RelayControlSession::writeFrames() {
    auto self = shared_from_this();
    while (auto frame = co_await mux_->nextOutboundFrame()) {
        asio::error_code error;
        co_await asio::async_write(stream_, asio::buffer(frame->bytes), redirect_error(use_awaitable, error));
        if (finished_) co_return;
        if (error) {
            fail(lostMessage(error));
            co_return;
        }
        mux_->outboundFrameWritten(*frame);
    }
}

}  // namespace zentrabo
