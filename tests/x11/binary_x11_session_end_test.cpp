// The built binary on an X server of the test's own, which the test stops
// under it: a restart within the grace time is the same session going on, a
// display gone for good (a logout) ends the server and its streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "app/binary_harness.hpp"
#include "platform/desktop/x11/x11_event_thread.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;

// An Xvfb of the test's own: on a free display, or on the one it had before.
class OwnXServer {
public:
    explicit OwnXServer(std::optional<int> display = std::nullopt) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ready[1], 3);
            const std::string name = display ? ":" + std::to_string(*display) : std::string();
            if (display) {
                execlp("Xvfb", "Xvfb", name.c_str(), "-displayfd", "3", "-nolock", "-noreset", "-nolisten", "tcp",
                       "-screen", "0", "640x480x24", static_cast<char*>(nullptr));
            } else {
                execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolock", "-noreset", "-nolisten", "tcp", "-screen", "0",
                       "640x480x24", static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(ready[1]);
        // Xvfb writes the display's number once it accepts connections.
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char byte = 0;
        while (poll(&wait, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1 && byte != '\n') number.push_back(byte);
        close(ready[0]);
        if (!number.empty()) display_ = std::stoi(number);
    }
    ~OwnXServer() { stop(); }
    OwnXServer(const OwnXServer&) = delete;
    OwnXServer& operator=(const OwnXServer&) = delete;

    // None when it did not start.
    std::optional<int> display() const { return display_; }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> display_;
};

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
