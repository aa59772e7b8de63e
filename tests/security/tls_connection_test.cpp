#include <csignal>
#include <unistd.h>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <gtest/gtest.h>

#include "tls_loopback.hpp"

namespace zentrabo {
namespace {

using platform::TlsConnection;
using platform::TlsRole;

std::shared_ptr<platform::TlsContext> contextFor(TlsRole role, const char* commonName) {
    return HalvardineSecurity::tlsParameters(role, testing::makeIdentity(commonName), std::nullopt);
}

struct Aftermath {
    bool finished = false;
    std::error_code peerEnd;
    std::error_code writeToGonePeer;
    std::error_code readAfterClose;
    bool descriptorReused = false;
    std::size_t bytesLeftForTheNewSocket = 0;
};

// The server side: sees its client go, writes on until that fails, closes,
// and reads once more after its descriptor's number went to a new socket.
asio::awaitable<void> outliveThePeer(asio::ip::tcp::acceptor& acceptor, std::shared_ptr<platform::TlsContext> context,
                                     Aftermath& aftermath) {
    auto socket = co_await acceptor.async_accept(asio::use_awaitable);
    TlsConnection connection(std::move(socket), std::move(context));
    if (co_await connection.handshake()) co_return;
    char byte = 0;
    aftermath.peerEnd = std::get<0>(co_await connection.readSome(asio::buffer(&byte, 1)));
    const std::vector<char> chunk(64 * 1024, 'x');
    for (int attempt = 0; attempt < 64 && !aftermath.writeToGonePeer; ++attempt) {
        aftermath.writeToGonePeer = co_await connection.writeAll(asio::buffer(chunk));
    }

    const int number = connection.socket().native_handle();
    connection.close();
    // The number is given to a new socket, as the next accept could.
    asio::ip::udp::socket newcomer(acceptor.get_executor(), {asio::ip::make_address("127.0.0.1"), 0});
    aftermath.descriptorReused = ::dup2(newcomer.native_handle(), number) == number;
    asio::ip::udp::socket sender(acceptor.get_executor(), {asio::ip::make_address("127.0.0.1"), 0});
    sender.send_to(asio::buffer("datagram", 8), newcomer.local_endpoint());
    aftermath.readAfterClose = std::get<0>(co_await connection.readSome(asio::buffer(&byte, 1)));
    aftermath.bytesLeftForTheNewSocket = newcomer.available();
    if (aftermath.descriptorReused) ::close(number);
    aftermath.finished = true;
}

asio::awaitable<void> handshakeAndLeave(asio::ip::tcp::endpoint endpoint,
                                        std::shared_ptr<platform::TlsContext> context) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    co_await socket.async_connect(endpoint, asio::use_awaitable);
    TlsConnection connection(std::move(socket), std::move(context));
    if (!co_await connection.handshake()) connection.close();
}

TEST(TlsConnectionTest, APeerThatLeftFailsTheWritesAndAClosedConnectionReachesNoOtherSocket) {
    // With the default action a send that raised SIGPIPE would end the program.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    Aftermath aftermath;
    asio::co_spawn(io, outliveThePeer(acceptor, contextFor(TlsRole::server, "Server"), aftermath), asio::detached);
    asio::co_spawn(io, handshakeAndLeave(acceptor.local_endpoint(), contextFor(TlsRole::client, "Client")),
                   asio::detached);
    io.run_for(std::chrono::seconds(20));
    std::signal(SIGPIPE, previous);

    ASSERT_TRUE(aftermath.finished);
    EXPECT_EQ(aftermath.peerEnd, asio::error::eof);
    EXPECT_TRUE(aftermath.writeToGonePeer);
    EXPECT_TRUE(aftermath.readAfterClose);
    ASSERT_TRUE(aftermath.descriptorReused);
    EXPECT_EQ(aftermath.bytesLeftForTheNewSocket, 8u);
}

}  // namespace
}  // namespace zentrabo
