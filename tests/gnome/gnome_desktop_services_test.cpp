// The GNOME Wayland desktop's services in the tests' GNOME session, each
// checked against what the shell itself says (its Introspect window list)
// or the pixels the test application draws, never against our extension.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <unistd.h>

#include "platform/desktop/gnome/gnome_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/eventually.hpp"
#include "support/gnome_session.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {
namespace {

bool near(std::uint8_t a, std::uint8_t b) { return std::abs(int(a) - int(b)) <= 8; }

// Whether the image shows the pattern of a window whose client area (of the
// size asked for) fills the bottom of the frame at `frame` in the image.
::testing::AssertionResult showsPatternAt(const platform::RgbaImage& image, const platform::Rect& frame,
                                          const TestWindowSpec& window) {
    const int left = static_cast<int>(frame.x + frame.width) - window.width;
    const int top = static_cast<int>(frame.y + frame.height) - window.height;
    for (const auto& [x, y] :
         {std::pair{window.width / 4, window.height / 4}, std::pair{window.width * 3 / 4, window.height * 3 / 4}}) {
        const int px = left + x, py = top + y;
        if (px < 0 || py < 0 || px >= int(image.width) || py >= int(image.height)) {
            return ::testing::AssertionFailure() << "(" << px << ", " << py << ") is outside the image";
        }
        const auto* pixel = image.pixels.data() + (std::size_t(py) * image.width + std::size_t(px)) * 4;
        const Rgb expected = testPatternColour(*window.colour, window.width, window.height, x, y);
        if (!near(pixel[0], expected.red) || !near(pixel[1], expected.green) || !near(pixel[2], expected.blue)) {
            return ::testing::AssertionFailure() << "pixel (" << px << ", " << py << ") is " << int(pixel[0]) << ","
                                                 << int(pixel[1]) << "," << int(pixel[2]);
        }
    }
    return ::testing::AssertionSuccess();
}

// The session bus name, owned by this program while the object lives.
class BusNameOwned {
public:
    explicit BusNameOwned(std::string name)
        : name_(std::move(name)), bus_(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        // 4: do not queue; 1: now the primary owner.
        owned_ = bus_ && nameCall("RequestName", g_variant_new("(su)", name_.c_str(), 4u)) == 1;
    }
    ~BusNameOwned() {
        if (owned_) nameCall("ReleaseName", g_variant_new("(s)", name_.c_str()));
        if (bus_) g_object_unref(bus_);
    }
    BusNameOwned(const BusNameOwned&) = delete;
    BusNameOwned& operator=(const BusNameOwned&) = delete;
    explicit operator bool() const { return owned_; }

private:
    guint32 nameCall(const char* method, GVariant* parameters) {
        GVariant* reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", method, parameters, G_VARIANT_TYPE("(u)"),
                                                      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        guint32 result = 0;
        if (reply) {
            g_variant_get(reply, "(u)", &result);
            g_variant_unref(reply);
        }
        return result;
    }

    std::string name_;
    GDBusConnection* bus_;
    bool owned_ = false;
};

class GnomeDesktopServices : public GnomeSessionTest {
protected:
    void SetUp() override {
        GnomeSessionTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        session = *gnomeSession();
        desktop = platform::GnomeDesktop::create(session.waylandDisplay, clock);
    }

    // The window with that title, once the shell lists it on screen.
    std::optional<platform::ListedWindow> listedWindow(const std::string& title) {
        std::optional<platform::ListedWindow> found;
        eventually([&] {
            for (auto& window : desktop->windowServer().windows().value_or(std::vector<platform::ListedWindow>{})) {
                if (window.onScreen && window.title == title) found = std::move(window);
            }
            return found.has_value();
        });
        return found;
    }

    GnomeSession session;
    platform::SystemClock clock;
    std::unique_ptr<platform::GnomeDesktop> desktop;
};

TEST_F(GnomeDesktopServices, WaylandAndXWaylandWindowsAreListedAndActivatedAsTheShellSees) {
    const TestWindowSpec waylandWindow{"Wayland window", 400, 300, {}, {}, "c03040", false};
    const TestWindowSpec xwaylandWindow{"XWayland window", 320, 240, {}, {}, "2080d0", false};
    TestApplication wayland({.windows = {waylandWindow}});
    std::optional<TestApplication> xwayland;
    {
        const auto client = asXWaylandClient(session);
        xwayland.emplace(TestApplicationOptions{.windows = {xwaylandWindow},
                                                .applicationId = std::string(kSecondTestApplicationId)});
    }
    ASSERT_TRUE(wayland.reports().waitFor("mapped", waylandWindow.name));
    ASSERT_TRUE(xwayland->reports().waitFor("mapped", xwaylandWindow.name));

    EXPECT_EQ(desktop->interfacesText(), "ScreenCast 4, RemoteDesktop 1, shell extension 1");
    EXPECT_EQ(desktop->extensionProblem(), std::nullopt);
    struct Row {
        const TestWindowSpec& window;
        TestApplication& application;
        std::string desktopFileID;
        bool isWayland;
    };
    const std::vector<Row> rows{{waylandWindow, wayland, std::string(kTestApplicationId) + ".desktop", true},
                                {xwaylandWindow, *xwayland, std::string(kSecondTestApplicationId) + ".desktop", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.window.name);
        const auto entry = listedWindow(row.window.name);
        ASSERT_TRUE(entry) << "not in the window list";
        EXPECT_EQ(entry->ownerPID, row.application.pid());
        const auto shell = witnessedShellWindows();
        ASSERT_TRUE(shell);
        const auto id = static_cast<std::uint64_t>(entry->id);
        ASSERT_TRUE(shell->contains(id)) << "the shell knows no window " << id;
        EXPECT_EQ(shell->at(id).title, row.window.name);
        EXPECT_EQ(shell->at(id).applicationID, row.desktopFileID);
        EXPECT_EQ(shell->at(id).isWayland, row.isWayland);

        const auto applications = desktop->workspace().runningApplications();
        const auto application = std::find_if(applications.begin(), applications.end(), [&](const auto& candidate) {
            return candidate->processIdentifier() == row.application.pid();
        });
        ASSERT_NE(application, applications.end()) << "not among the running applications";
        EXPECT_EQ((*application)->bundleIdentifier(), row.desktopFileID);

        ASSERT_TRUE((*application)->activate(false));
        EXPECT_TRUE(eventually([&] {
            const auto now = witnessedShellWindows();
            return now && now->contains(id) && now->at(id).hasFocus;
        })) << "the shell never focused the window";
        const auto front = desktop->workspace().frontmostApplication();
        ASSERT_TRUE(front);
        EXPECT_EQ(front->processIdentifier(), row.application.pid());

        // The window's picture and the display's show the pattern where the
        // window is, once the shell has drawn the window where it placed it:
        // a window just mapped may still be placed or painted, so the place
        // and the picture are read again until they agree (bounded).
        const auto display = desktop->displays().mainDisplayID();
        ::testing::AssertionResult shown = ::testing::AssertionFailure() << "no picture of the display";
        eventually([&] {
            const auto now = listedWindow(row.window.name);
            const auto screen = desktop->screenCapture().displayImage(display);
            if (!now || !screen) return false;
            shown = showsPatternAt(*screen, now->frame, row.window);
            return bool(shown);
        });
        EXPECT_TRUE(shown) << "in the display's picture";
        const auto picture = desktop->screenCapture().windowImage(static_cast<platform::WindowID>(id));
        ASSERT_TRUE(picture);
        EXPECT_TRUE(showsPatternAt(*picture, {0, 0, double(picture->width), double(picture->height)}, row.window))
            << "in the window's picture of " << picture->width << "x" << picture->height;
    }
}

TEST_F(GnomeDesktopServices, DisplaysReadBackAScaleAndRefuseAModeTheMonitorLacks) {
    auto& displays = desktop->displays();
    const auto online = displays.onlineDisplayIDs();
    ASSERT_TRUE(online);
    ASSERT_EQ(online->size(), 1u);
    const auto id = online->front();
    EXPECT_EQ(displays.mainDisplayID(), id);
    EXPECT_EQ(displays.bounds(id), (platform::Rect{0, 0, 1920, 1080}));
    const auto current = displays.currentMode(id);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->pixelWidth, 1920);
    EXPECT_EQ(current->pixelHeight, 1080);
    const auto modes = displays.allModes(id, true).value_or(std::vector<platform::DisplayMode>{});
    const auto doubled = std::find_if(modes.begin(), modes.end(), [](const auto& mode) { return mode.width == 960; });
    ASSERT_NE(doubled, modes.end()) << "no mode at scale 2";

    ASSERT_EQ(displays.setMode(id, *doubled), platform::displayerror::success);
    EXPECT_TRUE(eventually([&] { return displays.bounds(id).width == 960; }));
    EXPECT_EQ(displays.mainScreenBackingScaleFactor(), 2.0);
    ASSERT_EQ(displays.setMode(id, *current), platform::displayerror::success);
    EXPECT_TRUE(eventually([&] { return displays.bounds(id).width == 1920; }));

    platform::DisplayMode missing = *current;
    missing.ioDisplayModeID = 99;
    EXPECT_EQ(displays.setMode(id, missing), platform::displayerror::illegalArgument);
    EXPECT_EQ(displays.setMode(id + 1, *current), platform::displayerror::illegalArgument);
}

TEST_F(GnomeDesktopServices, WithoutTheExtensionNothingIsListedAndItSaysWhy) {
    // Another product's extension, which this shell does not run.
    auto identity = serverIdentity();
    identity.shellExtensionInterface = "org.zentrabo.Absent.Windows";
    identity.shellExtensionUUID = "absent@zentrabo.org";
    platform::setProductIdentity(identity);
    const auto without = platform::GnomeDesktop::create(session.waylandDisplay, clock);
    useServerIdentity();
    TestApplication running({.windows = {TestWindowSpec{"Unlisted", 200, 150, {}, {}, {}, false}}});
    ASSERT_TRUE(running.reports().waitFor("mapped", "Unlisted"));

    EXPECT_EQ(without->extensionProblem(),
              "GNOME Shell extension absent@zentrabo.org is not enabled: windows cannot be listed; see README");
    EXPECT_EQ(without->windowServer().windows(), std::nullopt);
    EXPECT_EQ(without->workspace().frontmostApplication(), nullptr);
    // A unique application owns its ID on the session bus: here this program
    // stands in for the second test application.
    {
        const BusNameOwned owned{std::string(kSecondTestApplicationId)};
        ASSERT_TRUE(owned);
        const auto applications = without->workspace().runningApplications();
        EXPECT_TRUE(std::any_of(applications.begin(), applications.end(), [](const auto& application) {
            return application->processIdentifier() == getpid() &&
                   application->bundleIdentifier() == std::string(kSecondTestApplicationId) + ".desktop";
        })) << "the owner of the application's bus name is not running it";
    }
    // Screen pictures need no extension.
    EXPECT_TRUE(without->screenCapture().displayImage(without->displays().mainDisplayID()));
}

}  // namespace
}  // namespace zentrabo::testing
