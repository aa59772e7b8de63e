// Pairing a phone with the running binary: the code and link from the
// terminal, the "pair" request over TLS, and what pairing opens.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "app/binary_harness.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(BinaryServerTest, PairingThroughTheTerminalAuthorizesOnlyThatDevice) {
    TestDevice phone;
    const auto early = send(phone, deviceRequest("B-1", "ping"));
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.error, "Not authorized.");
    EXPECT_EQ(early.errorCode, HalvardineErrorCode::notAuthorized);

    // The link carries what the phone needs besides the code: the server it
    // may trust and, where the Mac has an address, where to find it.
    const auto window = openPairingWindow();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(window.code.size(), 6u);
    EXPECT_EQ(window.code.find_first_not_of("0123456789"), std::string::npos) << window.code;
    EXPECT_EQ(window.link.rfind("zentrabo://pair?", 0), 0u) << window.link;
    EXPECT_EQ(queryValue(window.link, "code"), window.code);
    EXPECT_EQ(queryValue(window.link, "fp"), serverFingerprint);
    ASSERT_TRUE(queryValue(window.link, "nonce"));
    if (const auto linkPort = queryValue(window.link, "port")) {
        EXPECT_EQ(*linkPort, std::to_string(port));
    }

    const auto paired = pair(phone, window, "B-2");
    ASSERT_TRUE(paired.ok) << paired.error.value_or("");
    EXPECT_EQ(paired.token, "");
    EXPECT_EQ(paired.clientCertificateFingerprint, phone.fingerprint());
    EXPECT_EQ(paired.serverCertificateFingerprint, serverFingerprint);
    EXPECT_EQ(paired.port, port);

    const auto ping = send(phone, deviceRequest("B-3", "ping"));
    EXPECT_TRUE(ping.ok) << ping.error.value_or("");
    EXPECT_FALSE(ping.errorCode);

    // The window closed with the pairing: the same code pairs nobody else.
    TestDevice stranger;
    const auto reused = pair(stranger, window, "B-4");
    EXPECT_FALSE(reused.ok);
    EXPECT_EQ(reused.errorCode, HalvardineErrorCode::pairingUnavailable);
    EXPECT_EQ(send(stranger, deviceRequest("B-5", "ping")).errorCode, HalvardineErrorCode::notAuthorized);

    ASSERT_TRUE(process->writeLine("devices"));
    const auto devices = process->readLineStartingWith("Paired devices: ", terminalDeadline);
    ASSERT_TRUE(devices);
    EXPECT_EQ(*devices, "Paired devices: 1");
    const auto entry = process->readLine();
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->rfind("1. Test Phone  ", 0), 0u) << *entry;
}

TEST_F(BinaryServerTest, PairingAndTheFilesPasswordOutliveARestart) {
    TestDevice phone;
    pairDevice(phone);
    const std::string firstFingerprint = serverFingerprint;
    // The user protects files on local connections from the terminal.
    answersCommand("password set secret", "Extra authorization password set.");
    answersCommand("unlock secret", "Extra authorization settings unlocked.");
    answersCommand("scopes local files", "Protected on local connections: files");

    restartProcess();
    ASSERT_FALSE(HasFatalFailure());
    // The phone pinned the first fingerprint: a new identity would lock it out.
    EXPECT_EQ(serverFingerprint, firstFingerprint);
    const auto ping = send(phone, deviceRequest("S-1", "ping"));
    EXPECT_TRUE(ping.ok) << ping.error.value_or("");

    auto files = deviceRequest("S-2", "fileResource");
    files.filePath = home.path().string();
    const auto refused = send(phone, files);
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_FALSE(refused.fileResource);

    auto authorize = deviceRequest("S-3", "authorizeExtra");
    authorize.extraAuthorizationScope = HalvardineExtraAuthorizationScope::files;
    authorize.extraAuthorizationPassword = "secret";
    const auto granted = send(phone, authorize);
    ASSERT_TRUE(granted.extraAuthorizationToken) << granted.error.value_or("");
    files.id = "S-4";
    files.extraAuthorizationToken = granted.extraAuthorizationToken;
    const auto listed = send(phone, files);
    EXPECT_TRUE(listed.ok) << listed.error.value_or("");
    ASSERT_TRUE(listed.fileResource);
    EXPECT_EQ(listed.fileResource->path, home.path().string());
}

TEST_F(BinaryServerTest, PairingImageGoesWhenItsWindowCloses) {
    TestDevice phone;
    const auto image = home.path() / ".local/share/zentrabo/pairing-qr.png";
    const auto answers = [&](const char* command, const char* answer) {
        ASSERT_TRUE(process->writeLine(command));
        EXPECT_TRUE(process->readLineStartingWith(answer, terminalDeadline)) << command;
    };
    const auto stop = [&](int signal) {
        ASSERT_EQ(kill(process->pid(), signal), 0);
        ASSERT_TRUE(process->waitForExit());
    };
    using Close = std::function<void(const PairingWindow&)>;
    // The listener restart comes last: the port it listens on changes.
    const std::pair<const char*, Close> closings[] = {
        {"paired", [&](const PairingWindow& window) { EXPECT_TRUE(pair(phone, window, "Q-1").ok); }},
        {"cancelled", [&](const PairingWindow&) { answers("cancel", "Pairing cancelled."); }},
        {"stopped",
         [&](const PairingWindow&) {
             stop(SIGTERM);
             EXPECT_FALSE(std::filesystem::exists(image)) << "left behind by the stop";
             startProcess();
         }},
        {"killed, then started",
         [&](const PairingWindow&) {
             stop(SIGKILL);
             startProcess();
         }},
        {"listener restarted", [&](const PairingWindow&) { answers("restart", "Restarting the listener"); }},
    };
    for (const auto& [how, close] : closings) {
        SCOPED_TRACE(how);
        const auto window = openPairingWindow();
        ASSERT_TRUE(process->readLineStartingWith("Pairing QR image: ", terminalDeadline));
        ASSERT_TRUE(std::filesystem::exists(image));
        close(window);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_FALSE(std::filesystem::exists(image));
    }
}

}  // namespace
}  // namespace zentrabo::testing
