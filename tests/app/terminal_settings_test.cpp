// The terminal's relay, receive-folder, login-item, permission and restart
// commands on a whole server.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "server/files/file_receive_folder.hpp"
#include "terminal_fixture.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(TerminalTest, RelayCommandsChangeThePublishedSettingsAndTheConnector) {
    EXPECT_THAT(run("relay on"), ElementsAre("Relay: on, host (none), client port 443, control port 8443",
                                             "Relay state: failed (Relay host or device ID is invalid.)"));
    EXPECT_TRUE(*server->relay().relayEnabled());

    // The answer shows the state the new host leads to, not the one before it.
    EXPECT_THAT(run("relay host   relay.example.net  "),
                ElementsAre("Relay host: relay.example.net", "Relay state: connecting"));
    EXPECT_EQ(*server->relay().relayHost(), "relay.example.net");
    ASSERT_TRUE(lastConfiguration().has_value());
    EXPECT_EQ(lastConfiguration()->host, "relay.example.net");

    EXPECT_THAT(run("relay client-port 4443")[0], "Relay client port: 4443");
    EXPECT_THAT(run("relay control-port 65535")[0], "Relay control port: 65535");
    EXPECT_EQ(*server->relay().relayClientPort(), 4443);
    EXPECT_EQ(*server->relay().relayControlPort(), 65535);
    EXPECT_EQ(lastConfiguration()->clientPort, 4443);
    EXPECT_EQ(lastConfiguration()->controlPort, 65535);

    // The connector's own state and message show after a command, escaped; a
    // port left as it was starts nothing anew.
    server->relay().handleRelayStateChange(HalvardineRelayConnectionState::failed, std::string("Refused\x1b[0m."));
    EXPECT_THAT(run("relay control-port 65535")[1], "Relay state: failed (Refused\\u{001B}[0m.)");

    EXPECT_THAT(run("relay off"),
                ElementsAre("Relay: off, host relay.example.net, client port 4443, control port 65535",
                            "Relay state: disabled"));
    EXPECT_FALSE(*server->relay().relayEnabled());
    EXPECT_FALSE(lastConfiguration().has_value());
}

TEST_F(TerminalTest, RelayRefusesBadPortsHostsAndSettings) {
    const auto configurationsBefore = relay->configurations.size();
    for (const auto* line : {"relay client-port 0", "relay client-port 65536", "relay client-port -1",
                             "relay client-port +5", "relay client-port 12a", "relay client-port",
                             "relay client-port 443 444", "relay control-port 99999999999999999999"}) {
        EXPECT_THAT(run(line), ElementsAre(HasSubstr("is not a port from 1 to 65535. Type \"help\""))) << line;
    }
    EXPECT_EQ(*server->relay().relayClientPort(), 443);
    EXPECT_EQ(*server->relay().relayControlPort(), 8443);

    EXPECT_THAT(run("relay host https://"), ElementsAre("Relay host refused: \"https://\" is not a usable host."));
    EXPECT_THAT(run("relay host"), ElementsAre(HasSubstr("relay host: give the relay's host name or address")));
    EXPECT_EQ(*server->relay().relayHost(), "");
    for (const auto* line : {"relay", "relay sideways", "relay on please"}) {
        EXPECT_THAT(run(line), ElementsAre("relay: expected on, off, host, client-port or control-port. Type "
                                           "\"help\" for the commands."))
            << line;
    }
    EXPECT_FALSE(*server->relay().relayEnabled());
    EXPECT_EQ(relay->configurations.size(), configurationsBefore) << "nothing reached the connector";
}

TEST_F(TerminalTest, FolderCommandsChooseResetAndOpenTheReceiveFolder) {
    EXPECT_THAT(run("folder ~/Incoming files"), ElementsAre("Receive folder: ~/Incoming files"));
    EXPECT_EQ(server->receiveFolder().fileReceiveFolderURL(), (home.path() / "Incoming files").string());
    EXPECT_EQ(defaults->string(fileReceiveFolderPathKey), (home.path() / "Incoming files").string());

    EXPECT_THAT(run("folder /srv/inbox"), ElementsAre("Receive folder: /srv/inbox"));
    EXPECT_THAT(run("folder inbox"), ElementsAre(HasSubstr("folder: give an absolute path")));
    EXPECT_EQ(server->receiveFolder().fileReceiveFolderURL(), "/srv/inbox") << "a relative path changes nothing";

    EXPECT_THAT(run("folder default"), ElementsAre("Receive folder reset to ~/Downloads/Zentrabo"));
    EXPECT_FALSE(defaults->string(fileReceiveFolderPathKey).has_value());

    const auto opened = [&] {
        int count = 0;
        for (const auto& entry : desktop->journal()) count += entry.action == "openFile";
        return count;
    };
    EXPECT_THAT(run("folder open"), ElementsAre("The receive folder ~/Downloads/Zentrabo does not exist yet; the "
                                                "first received file makes it."));
    EXPECT_EQ(opened(), 0);
    std::filesystem::create_directories(home.path() / "Downloads/Zentrabo");
    EXPECT_THAT(run("folder open"), ElementsAre("Opened the receive folder ~/Downloads/Zentrabo"));
    EXPECT_EQ(opened(), 1);

    // A folder the workspace cannot open (the model desktop takes one named
    // like a bundle for an application) is not reported as opened.
    std::filesystem::create_directories(home.path() / "Incoming.app");
    run("folder ~/Incoming.app");
    EXPECT_THAT(run("folder open"), ElementsAre(StartsWith("Could not open the receive folder: ")));
}

TEST_F(TerminalTest, LoginItemTogglesAndSaysTheStatusItReallyHas) {
    // Without its program the item cannot be registered: the status says so.
    EXPECT_THAT(run("login-item"), ElementsAre("Login item toggled; its status is now not registered."));
    std::filesystem::create_directories(serverProgram().parent_path());
    std::ofstream(serverProgram()) << "#!/bin/sh\n";
    std::filesystem::permissions(serverProgram(), std::filesystem::perms::owner_all);
    // Another copy's entry, whose program is gone, is named, and replaced.
    const std::string other = (home.path() / "old build/zentrabo-server").string();
    const auto entry = home.path() / ".config/autostart/zentrabo-server.desktop";
    std::filesystem::create_directories(entry.parent_path());
    std::ofstream(entry) << "[Desktop Entry]\nExec=\"" << other << "\"\n";
    EXPECT_THAT(run("status"), Contains("login item: not found (the entry starts " + other + ")"));
    EXPECT_THAT(run("login-item"), ElementsAre("Login item toggled; its status is now enabled.",
                                               "It replaced the entry that started " + other + "."));
    EXPECT_EQ(*server->permissions().loginItemStatus(), platform::LoginItemStatus::enabled);
    EXPECT_THAT(run("login-item"), ElementsAre("Login item toggled; its status is now not registered."));
    EXPECT_EQ(*server->permissions().loginItemStatus(), platform::LoginItemStatus::notRegistered);
}

TEST_F(TerminalTest, PermissionRequestsAskTheDesktop) {
    run("request accessibility");
    run("request screen-recording");
    std::vector<std::string> requests;
    for (const auto& entry : desktop->journal()) {
        if (entry.action.starts_with("request")) requests.push_back(entry.action);
    }
    EXPECT_THAT(requests, ElementsAre("requestAccessibility", "requestScreenRecording"));
    EXPECT_THAT(run("request camera"), ElementsAre(HasSubstr("request: expected accessibility or screen-recording")));
}

TEST_F(TerminalTest, RestartStopsTheListenerAndClosesPairing) {
    run("pair");
    ASSERT_TRUE(*server->pairing().isPairingActive());
    EXPECT_THAT(run("restart"), ElementsAre("Restarting the listener; \"status\" shows its port once it is ready."));
    EXPECT_FALSE(*server->pairing().isPairingActive());
}

}  // namespace
}  // namespace zentrabo::testing
