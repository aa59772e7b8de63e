// The built binary on an X server of the test's own, which the test stops
// under it: a restart within the grace time is the same session going on, a
// display gone for good (a logout) ends the server and its streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "app/binary_harness.hpp"
#include "platform/desktop/x11/x11_event_thread.hpp"
#include "support/device_request.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "support/x11_witness.hpp"
#include "x11/own_x_server.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;

// The text of the stream's error frame; empty without one.
std::string lastErrorText(const StreamClient& stream) {
    const auto errors = framesOfKind(stream.frames(), RemoteScreenStreamFrameKind::error);
    return errors.empty() ? "" : payloadText(errors.back());
}

class BinaryX11SessionEnd : public BinaryServerTest {
protected:
    void SetUp() override {
        xServer.emplace();
        ASSERT_TRUE(xServer->display()) << "Xvfb did not start";
        serverArguments = {"--desktop", "x11"};
        serverEnvironment = {"DISPLAY=" + displayName()};
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    std::string displayName() const { return ":" + std::to_string(*xServer->display()); }

    std::optional<OwnXServer> xServer;
    TestDevice phone;
};

// How long after the display went the server has noticed at the latest:
// the grace time, one more reconnection attempt and its bounded connect.
constexpr auto noticed = platform::X11EventThread::sessionGraceTime + platform::X11EventThread::reconnectInterval +
                         platform::X11Connection::connectDeadline;

TEST_F(BinaryX11SessionEnd, AnXServerRestartedWithinTheGraceTimeIsTheSameSession) {
    const int display = *xServer->display();
    xServer->stop();
    xServer.emplace(display);
    ASSERT_EQ(xServer->display(), display) << "Xvfb did not start again on its display";
    // Past the moment a lost display would have ended it.
    std::this_thread::sleep_for(platform::X11EventThread::sessionGraceTime +
                                platform::X11EventThread::reconnectInterval);
    answersCommand("status", "Server status:");
    EXPECT_THAT(home.logText(), ::testing::Not(HasSubstr("The desktop session ended")));
}

TEST_F(BinaryX11SessionEnd, WhileTheXServerRestartsStreamsHearTheContentIsAwayAndAfterItTheClipboardIsSetAgain) {
    const int display = *xServer->display();
    xServer->stop();
    // Not the permission advice: nothing is missing but the display.
    auto early = openStream(phone, port, serverFingerprint, smallStreamRequest(RemoteScreenStreamMode::display));
    EXPECT_TRUE(early->waitUntil([&] { return early->isClosed(); }, std::chrono::seconds(5)));
    EXPECT_EQ(lastErrorText(*early), "The content to capture is not available.");

    xServer.emplace(display);
    ASSERT_EQ(xServer->display(), display) << "Xvfb did not start again on its display";
    const auto back = std::chrono::steady_clock::now();
    MenuWorkflowStep clipboard;
    clipboard.id = "step-clipboard";
    clipboard.title = "clipboard";
    clipboard.kind = "clipboard";
    clipboard.clipboardText = "after the restart";
    auto request = deviceRequest("W-1", "workflow");
    request.workflowSteps = std::vector{clipboard};
    std::optional<std::string> failure = "not asked";
    while (failure && std::chrono::steady_clock::now() < back + std::chrono::seconds(5)) {
        const auto reply = send(phone, request);
        failure = reply.ok ? std::nullopt : std::optional(reply.error.value_or(""));
        if (failure) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(witnessOutput("env DISPLAY=" + displayName() + " xclip -o -selection clipboard"), "after the restart");
    auto later = openStream(phone, port, serverFingerprint, smallStreamRequest(RemoteScreenStreamMode::display));
    EXPECT_TRUE(later->waitForFrames(2, std::chrono::seconds(5))) << lastErrorText(*later);
}

TEST_F(BinaryX11SessionEnd, AnXServerGoneForGoodEndsTheServerAndItsStreams) {
    auto stream = openStream(phone, port, serverFingerprint, smallStreamRequest(RemoteScreenStreamMode::display));
    ASSERT_TRUE(stream->waitForFrames(2, std::chrono::seconds(10)))
        << stream->undecoded() << lastErrorText(*stream) << process->errorText();

    xServer->stop();
    const std::string ended = "The desktop session ended (the X display " + displayName() + " went away); stopping.";
    EXPECT_EQ(process->readLineStartingWith("The desktop session ended", noticed + std::chrono::seconds(2)), ended);
    EXPECT_TRUE(exitedWith(process->waitForExit(), 0));
    EXPECT_THAT(home.logText(), HasSubstr(" " + ended + "\n"));
    // The stream ends with an error frame: its capture's own, which fails
    // first when the display goes, or the server's as it stops.
    EXPECT_TRUE(stream->waitUntil([&] { return stream->isClosed(); }, std::chrono::seconds(5)));
    EXPECT_EQ(framesOfKind(stream->frames(), RemoteScreenStreamFrameKind::error).size(), 1u);
}

}  // namespace
}  // namespace zentrabo::testing
