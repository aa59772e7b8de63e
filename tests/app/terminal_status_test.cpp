// The terminal's status, help and quit, and what it says to lines it cannot run.
#include <gmock/gmock.h>

#include "terminal_fixture.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(TerminalTest, StatusShowsEveryKeyOfTheStatusMenu) {
    const auto lines = run("status");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Server status:");
    const auto values = keyValues(lines);
    EXPECT_EQ(values.size(), lines.size() - 1) << "every line after the first is a key and a value";
    EXPECT_EQ(values.at("running"), "yes");
    EXPECT_EQ(values.at("port"), "50123");
    EXPECT_EQ(values.at("service name"), *server->listener().serviceName());
    EXPECT_EQ(values.at("fingerprint"), server->listener().serverCertificateFingerprint()->value_or("none"));
    EXPECT_EQ(values.at("pairing"), "inactive");
    EXPECT_EQ(values.at("paired devices"), "0");
    EXPECT_EQ(values.at("relay"), "off, host (none), client port 443, control port 8443");
    EXPECT_EQ(values.at("relay state"), "disabled");
    EXPECT_EQ(values.at("relay message"), "none");
    EXPECT_EQ(values.at("accessibility"), *server->permissions().hasAccessibilityAccess() ? "granted" : "not granted");
    EXPECT_EQ(values.at("screen recording"),
              *server->permissions().hasScreenRecordingAccess() ? "granted" : "not granted");
    EXPECT_EQ(values.at("sound"), "available") << "the model desktop's own";
    EXPECT_EQ(values.at("login item"), "not registered");
    EXPECT_EQ(values.at("password configured"), "no");
    EXPECT_EQ(values.at("scopes local"), "none");
    EXPECT_EQ(values.at("scopes relay"), "none");
    EXPECT_EQ(values.at("session duration"), "background (until the client app enters background)");
    EXPECT_EQ(values.at("receive folder"), "~/Downloads/Zentrabo");
    EXPECT_EQ(values.at("log file"), (home.logFolder() / "ZentraboMac.log").string());
    EXPECT_EQ(values.at("advertised"), "no");

    run("pair");
    clock.advance(3.0);
    mainLoop.runReady();
    server->authorization().completePairing(std::string(64, 'c'), std::string("Phone"),
                                            HalvardineExtraAuthorizationChannel::local);
    server->listener().setListenerFailed("the key store is damaged");
    server->listener().setAdvertisement({ServiceAdvertisementState::Phase::failed, "daemon not running"});
    server->relay().handleRelayStateChange(HalvardineRelayConnectionState::failed, std::string("refused\nby relay"));
    const auto changed = keyValues(run("status"));
    EXPECT_EQ(changed.at("running"), "no (the key store is damaged)");
    EXPECT_EQ(changed.at("advertised"), "no (daemon not running)");
    EXPECT_EQ(changed.at("port"), "none");
    EXPECT_EQ(changed.at("pairing"), "active, code " + *server->pairing().pairingCode() + ", 117 seconds left");
    EXPECT_EQ(changed.at("paired devices"), "1");
    EXPECT_EQ(changed.at("relay state"), "failed");
    EXPECT_EQ(changed.at("relay message"), "refused\\nby relay");
}

TEST_F(TerminalTest, HelpListsOneCommandPerLine) {
    const auto lines = run("help");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Commands:");
    // Every command named in help runs: none of them is unknown.
    for (std::size_t index = 1; index < lines.size(); ++index) {
        const std::string name = lines[index].substr(0, lines[index].find(' '));
        if (name == "quit") continue;
        const auto reply = runUntilPrinted(name);
        ASSERT_FALSE(reply.empty()) << name;
        EXPECT_EQ(reply.front().find("Unknown command"), std::string::npos) << name;
    }
}

TEST_F(TerminalTest, UnknownAndMalformedLinesNameTheProblemAndPointToHelp) {
    EXPECT_THAT(run(""), IsEmpty());
    EXPECT_THAT(run(" \t "), IsEmpty());
    EXPECT_THAT(run("frobnicate now"), ElementsAre("Unknown command \"frobnicate\". Type \"help\" for the commands."));
    EXPECT_THAT(run("\x1b]0;owned\x07"),
                ElementsAre("Unknown command \"\\u{001B}]0;owned\\u{0007}\". Type \"help\" for the commands."));
    const auto longName = run(std::string(500, 'z'));
    ASSERT_EQ(longName.size(), 1u);
    EXPECT_LT(longName[0].size(), 120u) << "echoed input is capped";
    EXPECT_THAT(run("status please"), ElementsAre("status: takes no arguments. Type \"help\" for the commands."));
    // A line from a terminal that sends CR LF runs as typed.
    EXPECT_EQ(run("status\r").front(), "Server status:");
}

TEST_F(TerminalTest, QuitCallsQuitOnce) {
    EXPECT_THAT(run("quit"), ElementsAre("Quitting."));
    EXPECT_EQ(quitCalls, 1);
    run("quit now");
    EXPECT_EQ(quitCalls, 1);
}

}  // namespace
}  // namespace zentrabo::testing
