// The built binary (--desktop x11) naming the test application by its
// desktop file ID with and without ".desktop", listing its windows without
// restoring a minimized one, and resizing a streamed window to what was
// asked, or saying why not.
#include <gtest/gtest.h>

#include <string>

#include "support/device_request.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

bool isMinimizedWindow(std::uint32_t window) {
    return witnessedProperty("_NET_WM_STATE", window).find("_NET_WM_STATE_HIDDEN") != std::string::npos;
}

class BinaryX11ApplicationWindows : public BinaryX11Test {
protected:
    HalvardineResponse request(const std::string& action, const std::string& bundleIdentifier) {
        auto made = deviceRequest(action + "-" + std::to_string(++number), action);
        made.bundleIdentifier = bundleIdentifier;
        return send(phone, made);
    }

    int number = 0;
};

TEST_F(BinaryX11ApplicationWindows, BothFormsOfTheIDNameTheApplicationAndItsMinimizedWindowStaysSo) {
    TestApplication application(
        {{{"Shown", 400, 300, {{100, 100}}, {}, {}, true}, {"Minimized", 300, 200, {{700, 100}}, {}, {}, false}}});
    const auto shown = waitForMapped(application, "Shown");
    const auto minimized = waitForMapped(application, "Minimized");
    ASSERT_TRUE(shown && minimized);
    witnessOutput("xdotool windowminimize --sync " + std::to_string(minimized->xid));
    TestApplication other({{{"Other", 300, 200, {{1200, 100}}, {}, {}, false}}, std::string(kSecondTestApplicationId)});
    const auto otherWindow = waitForFrontWindow(other, "Other");
    ASSERT_TRUE(otherWindow);

    const std::string ending = desktopID(std::string(kTestApplicationId));
    for (const std::string& id : {std::string(kTestApplicationId), ending}) {
        SCOPED_TRACE(id);
        // With another application in front, the menu read is the named
        // one's, not the frontmost's.
        activateWindow(otherWindow->xid);
        const auto menu = request("menu", id);
        ASSERT_TRUE(menu.ok && menu.snapshot) << menu.error.value_or("");
        EXPECT_EQ(menu.snapshot->application.pid, application.pid());

        const auto windows = request("applicationWindows", id);
        ASSERT_TRUE(windows.ok && windows.applicationWindows) << windows.error.value_or("");
        ASSERT_EQ(windows.applicationWindows->size(), 1u);
        EXPECT_EQ(windows.applicationWindows->front().windowID, shown->xid);
        EXPECT_TRUE(eventually([&] { return witnessedNumbers("_NET_ACTIVE_WINDOW") == std::vector{shown->xid}; }));
        EXPECT_TRUE(isMinimizedWindow(minimized->xid)) << "the minimized window was restored";
    }

    // With every window minimized, activating is the one way back.
    witnessOutput("xdotool windowminimize --sync " + std::to_string(shown->xid));
    const auto activated = request("activate", std::string(kTestApplicationId));
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    EXPECT_TRUE(eventually([&] { return !isMinimizedWindow(shown->xid) && !isMinimizedWindow(minimized->xid); }));
}

TEST_F(BinaryX11ApplicationWindows, AnInstalledApplicationNamedWithoutTheEndingIsLaunched) {
    const InstalledApplicationsGuard guard({kInstalledTestApp2});
    const auto activated = request("activate", kInstalledTestApp2);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    EXPECT_TRUE(waitForReport(kInstalledTestApp2, "started"));
    const auto quit = request("quit", kInstalledTestApp2);
    EXPECT_TRUE(quit.ok) << quit.error.value_or("");
}

TEST_F(BinaryX11ApplicationWindows, AResizeAnswersWithTheMinimumSizeOnlyWhenTheApplicationKeptAnother) {
    struct Row {
        const char* what;
        std::optional<std::pair<int, int>> minimum;
        bool saysMinimumSize;
    };
    const Row rows[] = {
        {"no minimum", std::nullopt, false},
        {"a minimum larger than asked", std::pair{900, 700}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestApplication application({{{"Resized", 400, 300, {{100, 100}}, row.minimum, {}, false}}});
        const auto window = waitForFrontWindow(application, "Resized");
        ASSERT_TRUE(window);
        auto options = smallStreamRequest(RemoteScreenStreamMode::frontmostWindow);
        auto client = openStream(phone, port, serverFingerprint, options);
        ASSERT_TRUE(client->waitUntil([&] { return client->isClosed() || !announcedSizes(client->frames()).empty(); }));
        client->write(frameBytes(RemoteScreenStreamFrameKind::resizeWindow, R"({"width": 800, "height": 600})"));
        ASSERT_TRUE(client->waitForCommandResults(1));
        const auto result = client->commandResults().back();
        EXPECT_TRUE(result.succeeded) << result.message.value_or("");
        const auto frame = witnessedFrame(window->xid);
        ASSERT_TRUE(frame);
        if (!row.saysMinimumSize) {
            EXPECT_EQ(std::make_pair(frame->width, frame->height), std::make_pair(800.0, 600.0));
            EXPECT_EQ(result.message, std::nullopt);
            continue;
        }
        // The answer gives the whole window's size, as the window manager
        // shows it.
        EXPECT_GT(frame->width, 900);
        EXPECT_EQ(result.message, "Window resized to " + std::to_string(int(frame->width)) + " x " +
                                      std::to_string(int(frame->height)) + ". The app may enforce a minimum size.");
    }
}

}  // namespace
}  // namespace zentrabo::testing
