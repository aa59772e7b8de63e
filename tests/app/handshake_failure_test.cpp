// A peer that connects and hangs up before TLS costs the server nothing: no
// reply is tried over a session that never came up, and the socket closes at
// once instead of waiting in CLOSE-WAIT.
#include "support/loopback_socket.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace zentrabo {
namespace {

// The server's sockets on the port that wait in CLOSE-WAIT: the peer has hung
// up and the server has not closed. Read from the socket tables of the
// process's network namespace.
std::size_t socketsInCloseWait(pid_t pid, std::uint16_t port) {
    constexpr std::string_view closeWait = "08";
    char localPort[8];
    std::snprintf(localPort, sizeof localPort, ":%04X", port);
    std::size_t count = 0;
    for (const char* table : {"tcp", "tcp6"}) {
        std::ifstream file("/proc/" + std::to_string(pid) + "/net/" + table);
        std::string line;
        std::getline(file, line);  // the column names
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (local.ends_with(localPort) && state == closeWait) ++count;
        }
    }
    return count;
}

TEST(HandshakeFailureTest, APeerThatHangsUpBeforeTlsIsClosedAtOnceWithoutAReply) {
    testing::TemporaryHome home;
    testing::ServerProcess server;
    const auto start = server.readStartLines();
    ASSERT_TRUE(start);

    // Several, since a single one could be closed quickly by luck.
    constexpr std::size_t peers = 10;
    for (std::size_t index = 0; index < peers; ++index) {
        const int socket = testing::connectToLoopback(start->port);
        ASSERT_GE(socket, 0);
        ::close(socket);
    }

    const auto handshakeFailures = [&] {
        return home.logCount("Request failed before processing: The TLS handshake failed");
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((handshakeFailures() < peers || socketsInCloseWait(server.pid(), start->port) > 0) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(handshakeFailures(), peers);
    EXPECT_EQ(socketsInCloseWait(server.pid(), start->port), 0u);
    EXPECT_EQ(home.logCount("Response"), 0u) << "a reply was tried";
}

}  // namespace
}  // namespace zentrabo
