#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>

#include "relay/relay_error.hpp"
#include "relay/relay_tunnel.hpp"
#include "relay/relay_tunnel_mux.hpp"

namespace zentrabo {
namespace {

using asio::ip::tcp;

RelayTunnelID muxTunnel(std::uint8_t number) {
    RelayTunnelID id{};
    id[15] = number;
    return id;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

class RelayTunnelMuxTest : public ::testing::Test {
protected:
    void SetUp() override { asio::co_spawn(io, drainFrames(mux), asio::detached); }

    void TearDown() override {
        mux->close();
        io.poll();
    }

    // Takes what the mux queues for the relay, as the control connection's writer does.
    asio::awaitable<void> drainFrames(std::shared_ptr<RelayTunnelMux> from) {
        while (auto frame = co_await from->nextOutboundFrame()) {
            RelayFrameHeader header = decodeRelayFrameHeader(
                std::span<const std::uint8_t, relayFrameHeaderSize>(frame->bytes.data(), relayFrameHeaderSize));
            receivedData[header.tunnelID] +=
                std::string(frame->bytes.begin() + relayFrameHeaderSize, frame->bytes.end());
            if (header.type == RelayFrameType::close) closed.push_back(header.tunnelID);
            from->outboundFrameWritten(*frame);
        }
    }

    template <typename Predicate>
    void runUntil(Predicate done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "timed out";
            io.run_one_for(std::chrono::milliseconds(20));
        }
    }

    tcp::socket acceptLocal() {
        tcp::socket socket(io);
        bool accepted = false;
        acceptor.async_accept(socket, [&](asio::error_code) { accepted = true; });
        runUntil([&] { return accepted; });
        return socket;
    }

    std::string readLocal(tcp::socket& socket, std::size_t count) {
        std::string text(count, '\0');
        bool done = false;
        asio::async_read(socket, asio::buffer(text), [&](asio::error_code, std::size_t) { done = true; });
        runUntil([&] { return done; });
        return text;
    }

    void open(std::uint8_t number) { mux->handleFrame({RelayFrameType::open, muxTunnel(number), 0}, {}); }

    void send(std::uint8_t number, const std::string& text) {
        mux->handleFrame({RelayFrameType::data, muxTunnel(number), static_cast<std::uint32_t>(text.size())},
                         bytesOf(text));
    }

    asio::io_context io;
    tcp::acceptor acceptor{io, {asio::ip::address_v4::loopback(), 0}};
    std::shared_ptr<RelayTunnelMux> mux =
        std::make_shared<RelayTunnelMux>(io.get_executor(), acceptor.local_endpoint().port());
    std::map<RelayTunnelID, std::string> receivedData;
    std::vector<RelayTunnelID> closed;
};

TEST_F(RelayTunnelMuxTest, PipesBothWaysAndClosesWhenTheLocalServerDoes) {
    open(1);
    send(1, "hello ");  // arrives before the loopback connection is up and waits in the backlog
    tcp::socket local = acceptLocal();
    send(1, "server");
    EXPECT_EQ(readLocal(local, 12), "hello server");

    asio::write(local, asio::buffer(std::string("hello relay")));
    runUntil([&] { return receivedData[muxTunnel(1)].size() == 11; });
    EXPECT_EQ(receivedData[muxTunnel(1)], "hello relay");

    local.close();
    runUntil([&] { return !closed.empty(); });
    EXPECT_EQ(closed, std::vector<RelayTunnelID>{muxTunnel(1)});
    EXPECT_EQ(mux->tunnelCount(), 0u);
    // Data crossing our close frame is dropped, and the identifier may be opened again.
    send(1, "late");
    open(1);
    EXPECT_EQ(mux->tunnelCount(), 1u);
}

TEST_F(RelayTunnelMuxTest, CloseFromTheRelayEndsTheLocalConnectionSilently) {
    open(7);
    tcp::socket local = acceptLocal();
    mux->handleFrame({RelayFrameType::close, muxTunnel(7), 0}, {});
    EXPECT_EQ(mux->tunnelCount(), 0u);
    char byte = 0;
    asio::error_code error;
    bool done = false;
    local.async_read_some(asio::buffer(&byte, 1), [&](asio::error_code ec, std::size_t) {
        error = ec;
        done = true;
    });
    runUntil([&] { return done; });
    EXPECT_EQ(error, asio::error::eof);
    EXPECT_TRUE(closed.empty());
}

TEST_F(RelayTunnelMuxTest, RefusesTunnelsWithoutListenerOrBeyondTheLimit) {
    auto portless = std::make_shared<RelayTunnelMux>(io.get_executor(), std::nullopt);
    asio::co_spawn(io, drainFrames(portless), asio::detached);
    portless->handleFrame({RelayFrameType::open, muxTunnel(1), 0}, {});
    runUntil([&] { return closed.size() == 1; });
    EXPECT_EQ(portless->tunnelCount(), 0u);
    portless->close();

    for (std::size_t index = 0; index < relayMaximumTunnels; ++index) open(static_cast<std::uint8_t>(index + 10));
    EXPECT_EQ(mux->tunnelCount(), relayMaximumTunnels);
    open(200);
    EXPECT_EQ(mux->tunnelCount(), relayMaximumTunnels);
    runUntil([&] { return closed.size() == 2; });
    EXPECT_EQ(closed.back(), muxTunnel(200));

    EXPECT_THROW(open(10), HalvardineRelayProtocolError);
}

TEST_F(RelayTunnelMuxTest, StopsReadingFramesWhileATunnelBacklogIsOverItsLimit) {
    open(1);
    tcp::socket local = acceptLocal();
    const std::string block(relayMaximumFramePayload, 'x');
    send(1, block);
    send(1, block);
    EXPECT_FALSE(mux->acceptsFrames());

    std::string drained;
    std::vector<char> chunk(1 << 16);
    runUntil([&] {
        asio::error_code error;
        if (local.available(error) > 0) drained.append(chunk.data(), local.read_some(asio::buffer(chunk), error));
        return mux->acceptsFrames();
    });
    EXPECT_GE(drained.size(), 2 * block.size() - relayTunnelBacklogLimit);
}

TEST_F(RelayTunnelMuxTest, StopsReadingTheLocalServerWhileItsFramesWaitForTheRelay) {
    auto held = std::make_shared<RelayTunnelMux>(io.get_executor(), acceptor.local_endpoint().port());
    held->handleFrame({RelayFrameType::open, muxTunnel(1), 0}, {});  // nobody drains its frames
    tcp::socket local = acceptLocal();
    local.non_blocking(true);
    const std::string block(1 << 16, 'y');
    std::size_t written = 0;
    int quietRounds = 0;
    // Write until neither the kernel nor the tunnel takes more.
    while (quietRounds < 50 && written < (64u << 20)) {
        asio::error_code error;
        const std::size_t count = local.write_some(asio::buffer(block), error);
        written += count;
        const std::size_t ran = io.poll();
        quietRounds = (count == 0 && ran == 0) ? quietRounds + 1 : 0;
    }
    EXPECT_LT(written, 64u << 20);
    EXPECT_LE(held->outboundQueueBytes(), relayTunnelOutboundLimit + relayFrameHeaderSize + relayTunnelReadChunk);
    held->close();
}

TEST_F(RelayTunnelMuxTest, DropsQueuedDataOfTunnelsTheRelayClosed) {
    auto held = std::make_shared<RelayTunnelMux>(io.get_executor(), acceptor.local_endpoint().port());
    // A relay that never reads what we send and keeps opening and closing
    // tunnels: what the local server answered on each must not pile up.
    for (std::uint8_t round = 1; round <= 3; ++round) {
        held->handleFrame({RelayFrameType::open, muxTunnel(round), 0}, {});
        tcp::socket local = acceptLocal();
        asio::write(local, asio::buffer(std::string("server reply")));
        runUntil([&] { return held->outboundQueueBytes() > 0; });
        held->handleFrame({RelayFrameType::close, muxTunnel(round), 0}, {});
        EXPECT_EQ(held->outboundQueueBytes(), 0u);
    }
    held->close();
}

}  // namespace
}  // namespace zentrabo
