// The built binary controlling the tests' GNOME session (--desktop
// gnome-wayland) as a phone sees it: the start line, the installed test
// application launched, listed and activated, a display screenshot and
// display and window streams that decode at their announced size.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/device_request.hpp"
#include "support/gnome_session.hpp"
#include "support/screenshot_picture.hpp"
#include "support/stream_client.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/shown_pattern.hpp"

namespace zentrabo::testing {
namespace {

class BinaryGnome : public BinaryServerTestOn<GnomeSessionTest> {
protected:
    void SetUp() override {
        serverArguments = {"--desktop", "gnome-wayland"};
        BinaryServerTestOn<GnomeSessionTest>::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        pairDevice(phone);
    }

    HalvardineResponse request(const std::string& action, std::optional<std::string> bundleIdentifier = {}) {
        auto made = deviceRequest(action + "-" + std::to_string(++number), action);
        made.bundleIdentifier = std::move(bundleIdentifier);
        return send(phone, made);
    }

    InstalledApplicationsGuard guard{{kInstalledTestApp}};
    TestDevice phone;
    int number = 0;
};

TEST_F(BinaryGnome, LaunchesListsActivatesCapturesAndStreamsTheSession) {
    EXPECT_EQ(desktopDescription, "GNOME Wayland (wayland-0)");
    const std::string id = desktopID(kInstalledTestApp);
    const auto activated = request("activate", id);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const auto started = waitForReport(kInstalledTestApp, "started");
    const auto mapped = waitForReport(kInstalledTestApp, "mapped");
    ASSERT_TRUE(started && mapped);
    const std::string title = mapped->text("window").value_or("");

    const auto listed = request("applications");
    ASSERT_TRUE(listed.applications);
    const auto running = std::find_if(listed.applications->begin(), listed.applications->end(),
                                      [&](const auto& application) { return application.bundleIdentifier == id; });
    ASSERT_NE(running, listed.applications->end());
    EXPECT_TRUE(running->isRunning);
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

}  // namespace
}  // namespace zentrabo::testing
