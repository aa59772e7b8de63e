#pragma once
// The zentrabo-server binary driven as its user and a phone drive it: the
// terminal on its standard input and output, requests over TLS on loopback
// from a device with a certificate of its own. Every wait has a deadline and
// the child is killed when a test ends early.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"
#include "support/test_device.hpp"

namespace zentrabo::testing {

// The desktop scenario the binary loads at its start.
inline std::filesystem::path scenarioFile(const TemporaryHome& home) {
    return home.path() / ".config/zentrabo/virtual-desktop.json";
}
inline void writeScenario(const TemporaryHome& home, const std::string& json) {
    std::filesystem::create_directories(scenarioFile(home).parent_path());
    std::ofstream(scenarioFile(home)) << json;
}

// On a fixture base of the test's choice (an X11 session's, say), whose
// SetUp runs first.
template <typename Base>
class BinaryServerTestOn : public Base {
protected:
    // How long a terminal command may take to answer.
    static constexpr auto terminalDeadline = std::chrono::seconds(20);

    void SetUp() override {
        Base::SetUp();
        if (this->HasFatalFailure() || this->IsSkipped()) return;
        startProcess();
    }

    // Starts the binary on the temporary home and reads its start lines.
    void startProcess() {
        process = std::make_unique<ServerProcess>(serverArguments, serverEnvironment, serverLaunch);
        ASSERT_GT(process->pid(), 0);
        const auto start = process->readStartLines();
        ASSERT_TRUE(start) << "no start lines; errors: " << process->errorText();
        serverVersion = start->version;
        desktopDescription = start->desktop;
        port = start->port;
        serverFingerprint = start->fingerprint;
        ASSERT_EQ(serverFingerprint.size(), 64u);
    }

    // Stops the binary as a user would and starts it again on the same home.
    void restartProcess() {
        ASSERT_EQ(kill(process->pid(), SIGTERM), 0);
        const auto status = process->waitForExit();
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "no clean stop";
        startProcess();
    }

    // The device's request, answered by the server of the start lines.
    HalvardineResponse send(const TestDevice& device, const HalvardineRequest& request) {
        const auto received = device.exchangeLine(port, serverFingerprint, encodeRecord(request) + "\n");
        EXPECT_TRUE(received) << "no reply to " << request.action;
        if (!received) return HalvardineResponse{};
        const auto lineEnd = received->find('\n');
        EXPECT_EQ(lineEnd, received->size() - 1) << "bytes after the reply line";
        auto response = decodeRecord<HalvardineResponse>(std::string_view(*received).substr(0, lineEnd));
        EXPECT_EQ(response.id, request.id);
        return response;
    }

    // Types the command on the terminal and reads the line that answers it.
    void answersCommand(const std::string& command, const std::string& answer) {
        ASSERT_TRUE(process->writeLine(command));
        EXPECT_EQ(process->readLineStartingWith(answer, terminalDeadline), answer) << command;
    }

    PairingWindow openPairingWindow() {
        auto window = testing::openPairingWindow(*process, terminalDeadline);
        EXPECT_TRUE(window) << "no pairing window";
        return window.value_or(PairingWindow{});
    }

    HalvardineResponse pair(const TestDevice& device, const PairingWindow& window, std::string id) {
        return send(device, pairingRequest(window, std::move(id)));
    }

    // Pairs the device through a fresh pairing window.
    void pairDevice(const TestDevice& device) {
        const auto response = pair(device, openPairingWindow(), "PAIR");
        ASSERT_TRUE(response.ok) << response.error.value_or("");
    }

    // What the binary is started with: the virtual desktop unless a test
    // sets other arguments before SetUp.
    std::vector<std::string> serverArguments = ServerProcess::virtualDesktop();
    ServerProcess::EnvironmentChanges serverEnvironment;
    ServerProcess::Launch serverLaunch;
    TemporaryHome home;
    // After the home: made with its environment, killed before it goes.
    std::unique_ptr<ServerProcess> process;
    std::string serverVersion;       // "<version> (<build>)"
    std::string desktopDescription;  // "virtual (built-in scenario)"
    std::uint16_t port = 0;
    std::string serverFingerprint;
};

using BinaryServerTest = BinaryServerTestOn<::testing::Test>;

}  // namespace zentrabo::testing
