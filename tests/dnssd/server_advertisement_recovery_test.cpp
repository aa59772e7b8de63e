// The server binary's advertisement as devices see it when the DNS-SD daemon
// restarts, and when another service already holds the server's name. The
// daemon is the tests' own (scripts/run-tests-in-namespace.sh), restarted
// with scripts/restart-test-dnssd.sh; elsewhere these tests skip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "model/halvardine_protocol.hpp"
#include "platform/net/dnssd_advertiser.hpp"
#include "platform/net/dnssd_browser.hpp"
#include "platform/text/percent_encoding.hpp"
#include "server/mac_name.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;

// The daemon probes a name for about a second before announcing it.
constexpr auto registrationLimit = std::chrono::seconds(20);
// How soon after the daemon is back the server must be found again.
constexpr auto recoveryLimit = std::chrono::seconds(5);

class ServerAdvertisementRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("ZENTRABO_DNSSD_PID_FILE") == nullptr) {
            if (std::getenv("ZENTRABO_REQUIRE_DNSSD") != nullptr) FAIL() << "no restartable DNS-SD daemon";
            GTEST_SKIP() << "only inside the tests' namespace, which runs its own DNS-SD daemon";
        }
        browser_.start(std::string(HalvardineProtocol::serviceType),
                       [this](std::error_code error, const platform::DnsServiceInstance& instance, bool added) {
                           if (error) return;  // the daemon restarting; the browse resumes by itself
                           if (added) ++additions_[instance.name];
                           present_[instance.name] = added;
                       });
    }

    // Runs the test's loop until `done` holds or the limit passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            io_.restart();
            io_.run_one_for(std::chrono::milliseconds(50));
        }
        return done();
    }

    bool browsed(const std::string& name) const { return present_.count(name) != 0 && present_.at(name); }

    // Asks for "status" until its line for the key satisfies `wanted`; that line.
    static std::optional<std::string> statusLine(ServerProcess& server, const std::string& key,
                                                 const std::function<bool(const std::string&)>& wanted) {
        const auto deadline = std::chrono::steady_clock::now() + registrationLimit;
        while (std::chrono::steady_clock::now() < deadline) {
            server.writeLine("status");
            const auto line = server.readLineStartingWith(key + ": ");
            if (!line) return std::nullopt;
            if (wanted(*line)) return line;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::nullopt;
    }

    const std::string serverName = macName() + " Zentrabo";
    TemporaryHome home;
    asio::io_context io_;
    platform::DnsServiceBrowser browser_{io_.get_executor()};
    std::map<std::string, bool> present_;
    std::map<std::string, int> additions_;
};

TEST_F(ServerAdvertisementRecoveryTest, TheServerIsFoundAgainSoonAfterTheDaemonRestarts) {
    ServerProcess server;
    ASSERT_TRUE(server.readStartLines());
    // The server of an earlier test had the same name, and the daemon may
    // still answer a browse with its record for a moment: only the server's
    // own word says that this one is advertised before the daemon goes.
    ASSERT_TRUE(statusLine(server, "advertised", [](const std::string& line) { return line == "advertised: yes"; }));
    ASSERT_TRUE(runUntil([&] { return browsed(serverName); }, registrationLimit)) << serverName << " not found";
    const int foundBefore = additions_[serverName];

    const std::string restart = std::string(ZENTRABO_SOURCE_DIR) + "/scripts/restart-test-dnssd.sh";
    ASSERT_EQ(std::system(restart.c_str()), 0);
    EXPECT_TRUE(runUntil([&] { return additions_[serverName] > foundBefore; }, recoveryLimit))
        << serverName << " not found again within 5 s of the restart";

    // The user is told of the loss once, and of the recovery.
    EXPECT_THAT(server.readErrorLine(registrationLimit).value_or(""), HasSubstr("Not advertised: "));
    EXPECT_EQ(server.readErrorLine(registrationLimit), "Advertised as " + serverName);
    EXPECT_TRUE(statusLine(server, "advertised", [](const std::string& line) { return line == "advertised: yes"; }));
}

TEST_F(ServerAdvertisementRecoveryTest, ANameHeldByAnotherServiceMakesTheServerTakeTheNextOne) {
    // Another server on the network already answers to this computer's name.
    platform::DnsServiceAdvertiser holder(io_.get_executor());
    std::optional<std::error_code> held;
    holder.start({serverName, std::string(HalvardineProtocol::serviceType), 9, {}},
                 [&](std::error_code error, const std::string&) { held = error; });
    ASSERT_TRUE(runUntil([&] { return held.has_value(); }, registrationLimit));
    ASSERT_FALSE(*held) << held->message();

    ServerProcess server;
    ASSERT_TRUE(server.readStartLines());
    const std::string taken = serverName + " (2)";
    EXPECT_TRUE(runUntil([&] { return browsed(taken); }, registrationLimit)) << taken << " not found";
    EXPECT_EQ(statusLine(server, "service name", [&](const std::string& line) { return line.ends_with(")"); }),
              "service name: " + taken);
    // The pairing link names the service as it was registered.
    ASSERT_TRUE(server.writeLine("pair"));
    EXPECT_THAT(server.readLineStartingWith("Pairing link: ").value_or(""),
                HasSubstr("?service=" + platform::percentEncodeQueryValue(taken) + "&"));
}

}  // namespace
}  // namespace zentrabo::testing
