// The built binary controlling the tests' GNOME session (--desktop
// gnome-wayland) as a phone sees it: the start line, the installed test
// application launched, listed, activated and restarted, display and window
// screenshots, display and window streams that decode at their announced
// size; and a start in the session with our shell extension disabled.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <fstream>

#include "app/binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/device_request.hpp"
#include "support/eventually.hpp"
#include "support/gnome_session.hpp"
#include "support/screenshot_picture.hpp"
#include "support/stream_client.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/shown_pattern.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {
namespace {

// Gone, or ended and not yet reaped by its parent (the server).
bool hasExited(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto nameEnd = line.rfind(')');
    return nameEnd != std::string::npos && line.compare(nameEnd, 4, ") Z ") == 0;
}

template <class Session>
class BinaryGnomeOn : public BinaryServerTestOn<Session> {
protected:
    void SetUp() override {
        this->serverArguments = {"--desktop", "gnome-wayland"};
        BinaryServerTestOn<Session>::SetUp();
        if (this->HasFatalFailure() || this->IsSkipped()) return;
        this->pairDevice(phone);
    }

    HalvardineResponse request(const std::string& action, std::optional<std::string> bundleIdentifier = {}) {
        auto made = deviceRequest(action + "-" + std::to_string(++number), action);
        made.bundleIdentifier = std::move(bundleIdentifier);
        return this->send(phone, made);
    }

    HalvardineResponse preview(RemoteScreenStreamMode mode, std::optional<std::string> bundleIdentifier) {
        auto made = deviceRequest("preview-" + std::to_string(++number), "screenStreamPreviewScreenshot");
        made.screenStream = RemoteScreenStreamRequest{};
        made.screenStream->mode = mode;
        made.screenStream->applicationBundleIdentifier = std::move(bundleIdentifier);
        return this->send(phone, made);
    }

    // Whether the "applications" reply lists the application as running.
    bool listsAsRunning(const std::string& id) {
        const auto listed = request("applications");
        return listed.applications &&
               std::any_of(listed.applications->begin(), listed.applications->end(), [&](const auto& application) {
                   return application.bundleIdentifier == id && application.isRunning;
               });
    }

    InstalledApplicationsGuard guard{{kInstalledTestApp}};
    TestDevice phone;
    int number = 0;
};

// Whether our extension's bus name has an owner in the session.
bool extensionAnswers() {
    return std::system(("gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                        "--method org.freedesktop.DBus.NameHasOwner " +
                        serverIdentity().shellExtensionInterface + " | grep -q true")
                           .c_str()) == 0;
}

// Asks the shell to enable or disable our extension, as
// `gnome-extensions enable|disable` does, and waits until its bus name
// follows.
::testing::AssertionResult switchExtension(bool enabled) {
    const std::string uuid = serverIdentity().shellExtensionUUID;
    const int status =
        std::system(("gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell "
                     "--method org.gnome.Shell.Extensions." +
                     std::string(enabled ? "EnableExtension " : "DisableExtension ") + uuid + " >/dev/null")
                        .c_str());
    if (status != 0) return ::testing::AssertionFailure() << "the shell refused to switch " << uuid;
    if (!eventually([&] { return extensionAnswers() == enabled; })) {
        return ::testing::AssertionFailure() << uuid << (enabled ? " never came back" : " never left the bus");
    }
    return ::testing::AssertionSuccess();
}

// The session with our extension disabled for the test; enabled again after
// it, whatever the test did (the other GNOME tests share the session and
// run after it, never beside it).
class GnomeSessionWithoutExtension : public GnomeSessionTest {
protected:
    void SetUp() override {
        GnomeSessionTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        switched = true;
        ASSERT_TRUE(switchExtension(false));
    }
    void TearDown() override {
        if (switched) {
            EXPECT_TRUE(switchExtension(true));
        }
        GnomeSessionTest::TearDown();
    }

private:
    bool switched = false;
};

class BinaryGnome : public BinaryGnomeOn<GnomeSessionTest> {};
class BinaryGnomeWithoutExtension : public BinaryGnomeOn<GnomeSessionWithoutExtension> {};

TEST_F(BinaryGnome, LaunchesListsActivatesCapturesAndStreamsTheSession) {
    EXPECT_EQ(desktopDescription, "GNOME Wayland (wayland-0)");
    const std::string id = desktopID(kInstalledTestApp);
    const auto activated = request("activate", id);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const auto started = waitForReport(kInstalledTestApp, "started");
    const auto mapped = waitForReport(kInstalledTestApp, "mapped");
    ASSERT_TRUE(started && mapped);
    const std::string title = mapped->text("window").value_or("");

    EXPECT_TRUE(listsAsRunning(id));
    // Activating the running application brings it forward, never a second one.
    ASSERT_TRUE(request("activate", id).ok);
    const auto windows = request("applicationWindows", id);
    ASSERT_TRUE(windows.ok && windows.applicationWindows) << windows.error.value_or("");
    ASSERT_EQ(windows.applicationWindows->size(), 1u);
    EXPECT_EQ(windows.applicationWindows->front().title, title);
    const auto starts = reportsOf(kInstalledTestApp);
    EXPECT_EQ(std::count_if(starts.begin(), starts.end(), [](const auto& r) { return r.event() == "started"; }), 1);
    const auto shell = witnessedShellWindows();
    ASSERT_TRUE(shell);
    const auto focused = shell->find(windows.applicationWindows->front().windowID);
    ASSERT_NE(focused, shell->end());
    EXPECT_TRUE(focused->second.hasFocus);

    // The pattern's client area fills the bottom of the frame the shell gives.
    const auto frame = witnessedFrame(title);
    ASSERT_TRUE(frame);
    MappedWindow window{0,
                        0,
                        0,
                        static_cast<int>(mapped->integer("width").value_or(0)),
                        static_cast<int>(mapped->integer("height").value_or(0)),
                        mapped->text("colour").value_or("")};
    // The report's size includes the shadows a Wayland window draws round its
    // frame; the application was asked for its entry's window of 420 x 300.
    window.width = (*frame)[2];
    window.height = 300;
    const double left = (*frame)[0], top = (*frame)[1] + (*frame)[3] - window.height;
    const auto displays = request("screenshotDisplays");
    ASSERT_TRUE(displays.ok && displays.displays) << displays.error.value_or("");
    ASSERT_FALSE(displays.displays->empty());
    EXPECT_EQ(displays.displays->front().pixelWidth, 1920);

    struct Row {
        const char* what;
        RemoteScreenStreamMode mode;
        bool showsPlace;
    };
    for (const Row& row : {Row{"the display", RemoteScreenStreamMode::display, true},
                           Row{"the frontmost window", RemoteScreenStreamMode::frontmostWindow, false},
                           Row{"the application's window", RemoteScreenStreamMode::applicationWindow, false}}) {
        SCOPED_TRACE(row.what);
        auto options = smallStreamRequest(row.mode);
        if (row.mode == RemoteScreenStreamMode::applicationWindow) options.applicationBundleIdentifier = id;
        auto client = openStream(phone, port, serverFingerprint, options);
        client->waitUntil([&] { return client->isClosed() || client->frames().size() >= 8; }, std::chrono::seconds(5));
        const auto frames = client->frames();
        client.reset();
        const auto [width, height] = announcedSize(frames);
        ASSERT_GT(width, 0u);
        test::expectDecodesCleanly(frames, "h264", "h264," + std::to_string(width) + "," + std::to_string(height));
        const auto pictures = test::decodedPictures(frames, "h264", width, height);
        ASSERT_FALSE(pictures.empty());
        if (row.showsPlace) {
            const double scale = width / 1920.0;
            EXPECT_TRUE(showsPattern(pictures.back(), window, left * scale, top * scale, scale));
        }
    }

    // A window's picture is its frame, without the shadows a Wayland window
    // draws round it; the pattern's client area lies at the frame's bottom.
    MenuWorkflowStep windowStep;
    windowStep.id = "window";
    windowStep.kind = "windowScreenshot";
    windowStep.title = "Window";
    windowStep.delayAfter = 0;
    windowStep.bundleIdentifier = id;
    auto workflow = deviceRequest("workflow", "workflow");
    workflow.workflowSteps = std::vector{windowStep};
    const std::pair<const char*, HalvardineResponse> windowShots[] = {
        {"the frontmost window's preview", preview(RemoteScreenStreamMode::frontmostWindow, id)},
        {"the application window's preview", preview(RemoteScreenStreamMode::applicationWindow, id)},
        {"a workflow's window screenshot", send(phone, workflow)}};
    for (const auto& [what, reply] : windowShots) {
        SCOPED_TRACE(what);
        const auto picture = onlyScreenshot(reply);
        EXPECT_EQ(picture.width, static_cast<unsigned>((*frame)[2]));
        ASSERT_EQ(picture.height, static_cast<unsigned>((*frame)[3]));
        EXPECT_TRUE(showsPattern(picture, window, 0, picture.height - window.height));
    }

    // A restart quits the application through its window and starts it anew.
    const auto firstPid = static_cast<pid_t>(started->integer("pid").value_or(0));
    const auto restarted = request("restartApplication", id);
    ASSERT_TRUE(restarted.ok) << restarted.error.value_or("");
    const auto again = waitForReport(kInstalledTestApp, "started", 1);
    ASSERT_TRUE(again && waitForReport(kInstalledTestApp, "mapped", 1));
    EXPECT_NE(again->integer("pid"), firstPid);
    EXPECT_TRUE(hasExited(firstPid)) << "the first instance still runs";
    std::size_t listedWindows = 0;
    eventually([&] {
        const auto now = request("applicationWindows", id);
        listedWindows = now.applicationWindows ? now.applicationWindows->size() : 0;
        return listedWindows == 1;
    });
    EXPECT_EQ(listedWindows, 1u);
}

// Whether the picture's colour at a point of its bottom-right quarter is the
// window's own colour (not its complement), as a window's pattern shows there.
bool showsColourOf(const platform::RgbaImage& picture, const std::string& colour) {
    const auto* pixel = picture.pixel(picture.width * 3 / 4, picture.height * 4 / 5);
    const Rgb expected = testPatternColour(colour, 2, 2, 1, 1);
    return std::abs(pixel[0] - expected.red) <= 28 && std::abs(pixel[1] - expected.green) <= 28 &&
           std::abs(pixel[2] - expected.blue) <= 28;
}

TEST_F(BinaryGnome, AFrontmostWindowStreamFollowsTheWindowTheShellActivates) {
    TestApplication application({.windows = {TestWindowSpec{"First", 320, 240, {}, {}, "d04020", false},
                                             TestWindowSpec{"Second", 320, 240, {}, {}, "20a040", false}}});
    ASSERT_TRUE(application.reports().waitFor("mapped", "First"));
    ASSERT_TRUE(application.reports().waitFor("mapped", "Second"));
    ASSERT_TRUE(shellActivates("First"));

    auto options = smallStreamRequest(RemoteScreenStreamMode::frontmostWindow);
    options.windowTrackingMode = RemoteScreenStreamWindowTrackingMode::followActiveWindow;
    auto client = openStream(phone, port, serverFingerprint, options);
    const auto videoCount = [&] {
        const auto frames = client->frames();
        return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
            return frame.kind == RemoteScreenStreamFrameKind::video;
        }));
    };
    ASSERT_TRUE(client->waitUntil([&] { return videoCount() >= 6; }, std::chrono::seconds(5)));
    const std::size_t beforeSwitch = videoCount();
    ASSERT_TRUE(shellActivates("Second"));
    client->waitUntil([&] { return videoCount() >= beforeSwitch + 20; }, std::chrono::seconds(5));
    const auto frames = client->frames();
    client.reset();
    const auto [width, height] = announcedSize(frames);
    ASSERT_GT(width, 0u);
    const auto pictures = test::decodedPictures(frames, "h264", width, height);
    ASSERT_GE(pictures.size(), beforeSwitch);
    EXPECT_TRUE(showsColourOf(pictures[beforeSwitch - 1], "d04020")) << "the stream did not show the first window";
    EXPECT_TRUE(showsColourOf(pictures.back(), "20a040")) << "the stream never followed the second window";
}

TEST_F(BinaryGnomeWithoutExtension, StartsSaysWhyAndNeverStartsASecondCopy) {
    EXPECT_EQ(desktopDescription, "GNOME Wayland (wayland-0)");
    const std::string why = "GNOME Shell extension " + serverIdentity().shellExtensionUUID +
                            " is not enabled: windows cannot be listed; see README";
    ASSERT_TRUE(process->writeLine("status"));
    const auto status = process->readLineStartingWith("desktop: ", terminalDeadline);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->ends_with("; " + why)) << *status;

    // Started from its entry by the user's shell, through GLib's launcher,
    // not by the server.
    const auto entry = installedTestApplications() / "share" / "applications" / desktopID(kInstalledTestApp);
    ASSERT_EQ(std::system(("/usr/bin/python3 -c 'import sys; from gi.repository import Gio; "
                           "Gio.DesktopAppInfo.new_from_filename(sys.argv[1]).launch([], Gio.AppLaunchContext())' " +
                           entry.string())
                              .c_str()),
              0);
    ASSERT_TRUE(waitForReport(kInstalledTestApp, "mapped"));
    const std::string id = desktopID(kInstalledTestApp);

    const auto windows = request("applicationWindows", id);
    ASSERT_TRUE(windows.ok) << windows.error.value_or("");
    ASSERT_TRUE(windows.applicationWindows);
    EXPECT_TRUE(windows.applicationWindows->empty());
    EXPECT_TRUE(listsAsRunning(id));
    EXPECT_EQ(preview(RemoteScreenStreamMode::applicationWindow, id).error,
              "No visible window was found for Zentrabo Test App.");
    const auto activated = request("activate", id);
    EXPECT_TRUE(activated.ok) << activated.error.value_or("");
    const auto starts = reportsOf(kInstalledTestApp);
    EXPECT_EQ(std::count_if(starts.begin(), starts.end(), [](const auto& r) { return r.event() == "started"; }), 1);
}

}  // namespace
}  // namespace zentrabo::testing
