// The built binary on a desktop session of the test's own whose
// accessibility bus or X server ends and starts again under it, the
// application with it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "app/binary_harness.hpp"
#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "support/stream_client.hpp"
#include "x11/own_accessibility_session.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;

class BinaryX11OwnSession : public BinaryServerTest {
protected:
    void SetUp() override {
        std::filesystem::create_directory(home.path() / "session");
        session = std::make_unique<OwnAccessibilitySession>(home.path() / "session");
        ASSERT_TRUE(session->started()) << "the test's own session did not start";
        environment = std::make_unique<ScopedEnvironment>(session->environment());
        serverArguments = {"--desktop", "x11"};
        for (const auto& [name, value] : session->environment()) {
            serverEnvironment.push_back(value ? name + "=" + *value : name);
        }
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    // Whether the terminal's status says the accessibility trust is as
    // given within the time: the permission monitor reads it every 2 s.
    bool statusSaysTrusted(bool trusted, std::chrono::seconds limit) {
        const std::string expected = std::string("accessibility: ") + (trusted ? "granted" : "not granted");
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (!process->writeLine("status")) return false;
            // "not granted" comes with a hint in brackets.
            const auto line = process->readLineStartingWith("accessibility: ", terminalDeadline).value_or("");
            if (line == expected || line.rfind(expected + " (", 0) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

public:
    HalvardineResponse sendFromPhone(const HalvardineRequest& request) { return send(phone, request); }

    // Whether a paste sent through a display stream reaches the window,
    // a stream opened anew each second until it has or the time is up.
    bool pastedThroughAStream(TestApplication& application, const std::string& window, const std::string& text,
                              std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            auto stream =
                openStream(phone, port, serverFingerprint, smallStreamRequest(RemoteScreenStreamMode::display));
            stream->write(frameBytes(RemoteScreenStreamFrameKind::pasteText, text));
            const auto report = application.reports().waitFor("paste", window, std::chrono::seconds(1));
            if (report && report->text("text") == text) return true;
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }

protected:
    std::unique_ptr<OwnAccessibilitySession> session;
    std::unique_ptr<ScopedEnvironment> environment;
    TestDevice phone;
};

TEST_F(BinaryX11OwnSession, AfterTheBusAndTheApplicationRestartTheMenuIsReadAgain) {
    {
        TestApplication application({.windows = {{"Before", 400, 300, {{300, 300}}, {}, {}, true}}});
        ASSERT_TRUE(waitForFrontWindow(application, "Before"));
        const auto menu = send(phone, deviceRequest("B-1", "menu"));
        ASSERT_TRUE(menu.ok) << menu.error.value_or("");
        session->stopAccessibilityBus();
    }
    EXPECT_TRUE(statusSaysTrusted(false, std::chrono::seconds(5))) << "while the bus is away";

    ASSERT_TRUE(session->startAccessibilityBus());
    TestApplication application({.windows = {{"After", 400, 300, {{300, 300}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "After"));
    const auto back = std::chrono::steady_clock::now();
    std::optional<HalvardineResponse> menu;
    for (int attempt = 1; !(menu && menu->ok) && std::chrono::steady_clock::now() - back < std::chrono::seconds(5);
         ++attempt) {
        if (menu) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        menu = send(phone, deviceRequest("A-" + std::to_string(attempt), "menu"));
    }
    ASSERT_TRUE(menu && menu->ok) << (menu ? menu->error.value_or("") : "");
    ASSERT_TRUE(menu->snapshot);
    EXPECT_THAT(titles(menu->snapshot->items), ElementsAre("File", "Edit"));
    EXPECT_TRUE(statusSaysTrusted(true, std::chrono::seconds(5))) << "once the bus is back";
}

// A paste of a workflow, asked for until it is answered ok (at most for the
// time given); the last answer.
HalvardineResponse pasteUntilDone(BinaryX11OwnSession& test, const std::string& text, std::chrono::seconds limit) {
    MenuWorkflowStep paste;
    paste.id = "step-paste";
    paste.title = "paste";
    paste.kind = "pasteText";
    paste.textInput = text;
    const auto start = std::chrono::steady_clock::now();
    HalvardineResponse reply;
    for (int attempt = 1;; ++attempt) {
        auto request = deviceRequest("P-" + std::to_string(attempt), "workflow");
        request.workflowSteps = std::vector{paste};
        reply = test.sendFromPhone(request);
        if (reply.ok || std::chrono::steady_clock::now() - start > limit) return reply;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// Whether the application's field comes to hold the text.
bool fieldHolds(TestApplication& application, const std::string& window, const std::string& text) {
    while (const auto change = application.reports().waitFor("field", window)) {
        if (change->text("text") == text) return true;
    }
    return false;
}

TEST_F(BinaryX11OwnSession, AfterTheXServerRestartsAWorkflowPastesIntoTheFrontApplication) {
    {
        TestApplication application({.windows = {{"Before", 400, 300, {{100, 100}}, {}, {}, true}}});
        ASSERT_TRUE(waitForFrontWindow(application, "Before"));
        const auto reply = pasteUntilDone(*this, "before", std::chrono::seconds(0));
        ASSERT_TRUE(reply.ok) << reply.error.value_or("");
        EXPECT_TRUE(fieldHolds(application, "Before", "before"));
        ASSERT_TRUE(session->restartXServer());
    }
    TestApplication application({.windows = {{"After", 400, 300, {{100, 100}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "After"));
    const auto reply = pasteUntilDone(*this, "after the restart", std::chrono::seconds(5));
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    EXPECT_TRUE(fieldHolds(application, "After", "after the restart"));
}

TEST_F(BinaryX11OwnSession, AfterTheXServerRestartsAStreamPastesIntoTheFrontApplication) {
    {
        TestApplication application({.windows = {{"Before", 400, 300, {{100, 100}}, {}, {}}}});
        ASSERT_TRUE(waitForFrontWindow(application, "Before"));
        ASSERT_TRUE(pastedThroughAStream(application, "Before", "before", std::chrono::seconds(0)));
        ASSERT_TRUE(session->restartXServer());
    }
    TestApplication application({.windows = {{"After", 400, 300, {{100, 100}}, {}, {}}}});
    ASSERT_TRUE(waitForFrontWindow(application, "After"));
    EXPECT_TRUE(pastedThroughAStream(application, "After", "after the restart", std::chrono::seconds(5)));
}

}  // namespace
}  // namespace zentrabo::testing
