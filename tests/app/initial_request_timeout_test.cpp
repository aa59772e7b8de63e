// The one test that waits the real 12 s a client has for its request: every
// other test shortens it with a manual clock.
#include "support/loopback_socket.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace zentrabo {
namespace {

// Waits until the peer closes (or sends); false when the time passes first.
bool closedWithin(int socket, std::chrono::milliseconds time) {
    pollfd ready{socket, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(time.count())) <= 0) return false;
    char byte = 0;
    return ::recv(socket, &byte, 1, 0) <= 0;
}

TEST(InitialRequestTimeoutTest, ASilentClientIsDisconnectedAfterTwelveSeconds) {
    testing::TemporaryHome home;
    testing::ServerProcess server;
    const auto start = server.readStartLines();
    ASSERT_TRUE(start);

    const int socket = testing::connectToLoopback(start->port);
    ASSERT_GE(socket, 0);

    // Not a byte of a handshake: the connection stays open for its 12 s...
    EXPECT_FALSE(closedWithin(socket, std::chrono::milliseconds(11'000)));
    // ...and is then closed without a reply.
    EXPECT_TRUE(closedWithin(socket, std::chrono::milliseconds(6'000)));
    ::close(socket);
}

}  // namespace
}  // namespace zentrabo
