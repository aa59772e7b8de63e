// A paired phone reading and pressing the menus of an application of the
// tests' X session through the binary (--desktop x11).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A process stopped for as long as this object lives: continued on every
// way out of the test, or its ending would wait on a stopped process.
class StoppedProcess {
public:
    explicit StoppedProcess(pid_t pid) : pid_(pid) { kill(pid_, SIGSTOP); }
    ~StoppedProcess() { kill(pid_, SIGCONT); }
    StoppedProcess(const StoppedProcess&) = delete;
    StoppedProcess& operator=(const StoppedProcess&) = delete;

private:
    pid_t pid_;
};

std::size_t videoFrameCount(const StreamClient& client) {
    const auto frames = client.frames();
    return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
        return frame.kind == RemoteScreenStreamFrameKind::video;
    }));
}

class BinaryX11Menus : public BinaryX11Test {
protected:
    // The reply and how long it took to come.
    std::pair<HalvardineResponse, Clock::duration> timed(HalvardineRequest request) {
        const auto start = Clock::now();
        auto reply = send(phone, request);
        return {std::move(reply), Clock::now() - start};
    }
};

TEST_F(BinaryX11Menus, AStoppedApplicationCostsOneMenuRequestItsTimeoutAndHoldsNoOtherRequestNorStream) {
    TestApplication application({.windows = {{"Stopped", 400, 300, {{300, 300}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Stopped"));
    ASSERT_TRUE(send(phone, deviceRequest("S-1", "menu")).ok);
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::frontmostWindow;
    options.framesPerSecond = 10;
    options.maximumPixelDimension = 320;
    options.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
    options.capturesAudio = false;
    auto stream = openStream(phone, port, serverFingerprint, options);
    const auto framesReach = [&](std::size_t count) {
        return stream->waitUntil([&] { return stream->isClosed() || videoFrameCount(*stream) >= count; },
                                 std::chrono::seconds(5)) &&
               !stream->isClosed();
    };
    ASSERT_TRUE(framesReach(3)) << stream->undecoded();

    {
        const StoppedProcess stopped(application.pid());
        const auto [menu, menuTook] = timed(deviceRequest("S-2", "menu"));
        EXPECT_FALSE(menu.ok);
        EXPECT_EQ(menu.errorCode, HalvardineErrorCode::applicationUnresponsive) << menu.error.value_or("");
        // The messaging timeout is one second; the rest is slack for a loaded machine.
        EXPECT_LT(menuTook, std::chrono::seconds(3));
        const auto [ping, pingTook] = timed(deviceRequest("S-3", "ping"));
        EXPECT_TRUE(ping.ok);
        EXPECT_LT(pingTook, std::chrono::milliseconds(500));
        EXPECT_TRUE(framesReach(videoFrameCount(*stream) + 10)) << "the stream stopped with the application";
    }
    const auto again = send(phone, deviceRequest("S-4", "menu"));
    EXPECT_TRUE(again.ok) << again.error.value_or("");
}

TEST_F(BinaryX11Menus, AWorkflowOfMenuKeyAndPasteStepsFillsTheApplicationsTextField) {
    TestApplication application({.windows = {{"Workflow", 400, 300, {{300, 300}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Workflow"));
    const auto step = [](std::string kind) {
        MenuWorkflowStep step;
        step.id = "step-" + kind;
        step.title = kind;
        step.kind = std::move(kind);
        return step;
    };
    auto clipboard = step("clipboard");
    clipboard.clipboardText = "Dear ";
    auto menu = step("menu");
    menu.path = std::vector<std::string>{"Edit", "Paste"};
    auto key = step("keyPress");
    key.keyPressKey = "a";
    key.keyPressModifiers = std::vector<std::string>{"shift"};
    auto paste = step("pasteText");
    paste.textInput = "nn, ünïcode";
    auto request = deviceRequest("W-1", "workflow");
    request.workflowSteps = std::vector{clipboard, menu, key, paste};

    const auto reply = send(phone, request);
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    // Each change of the field is reported; the last one holds it all.
    const std::string expected = "Dear Ann, ünïcode";
    std::vector<std::string> texts;
    while (texts.empty() || texts.back() != expected) {
        const auto change = application.reports().waitFor("field", "Workflow");
        if (!change) break;
        texts.push_back(change->text("text").value_or(""));
    }
    EXPECT_THAT(texts, ::testing::Contains(expected));
}

// More items than one read used to keep, than one read of the application
// gets through within the messaging timeout, and than item-by-item calls
// read within the client's reply deadline.
TEST_F(BinaryX11Menus, AMenuOfTenThousandItemsIsReadWhole) {
    TestApplication application({.windows = {{"Large", 400, 300, {{300, 300}}, {}, {}, true, 10000}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Large"));
    const auto menu = send(phone, deviceRequest("L-1", "menu"));
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    const MenuNode* many = nodeAt(*menu.snapshot, {"Many"});
    ASSERT_TRUE(many);
    ASSERT_EQ(many->children.size(), 10000u);
    EXPECT_EQ(many->children.front().title, "Item 1");
    EXPECT_EQ(many->children.back().title, "Item 10000");
}

TEST_F(BinaryX11Menus, AnApplicationEndingDuringAMenuReadIsAnErrorNotPartOfItsMenu) {
    TestApplication application({.windows = {{"Ending", 400, 300, {{300, 300}}, {}, {}, true, 3000}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Ending"));
    std::optional<HalvardineResponse> menu;
    std::thread reading([&] { menu = send(phone, deviceRequest("E-1", "menu")); });
    // Well inside the read: each item is several calls to the application.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(application.pid(), SIGKILL);
    reading.join();
    ASSERT_TRUE(menu);
    const MenuNode* many = menu->snapshot ? nodeAt(*menu->snapshot, {"Many"}) : nullptr;
    EXPECT_FALSE(menu->ok) << (many ? many->children.size() : 0) << " of 3000 items answered";
    EXPECT_THAT(menu->errorCode, ::testing::AnyOf(HalvardineErrorCode::applicationNotRunning,
                                                  HalvardineErrorCode::applicationUnresponsive));
}

}  // namespace
}  // namespace zentrabo::testing
