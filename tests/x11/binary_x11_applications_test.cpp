// The built binary on the tests' X session (--desktop x11) with the test
// applications installed as desktop entries: listing, launching, activating,
// windows, restart and quit, the exact argv of an Exec line, and URLs and
// files handed to the recording handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "app/binary_harness.hpp"
#include "platform/imaging/png_codec.hpp"
#include "support/device_request.hpp"
#include "support/x11_session.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class BinaryX11Applications : public BinaryServerTestOn<X11SessionTest> {
protected:
    void SetUp() override {
        serverArguments = {"--desktop", "x11"};
        BinaryServerTestOn<X11SessionTest>::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_FALSE(installedTestApplications().empty()) << "the session installed no test applications";
        pairDevice(phone);
    }

    HalvardineResponse request(const std::string& action, std::optional<std::string> bundleIdentifier = {}) {
        auto made = deviceRequest(action + "-" + std::to_string(++number), action);
        made.bundleIdentifier = std::move(bundleIdentifier);
        return send(phone, made);
    }

    std::optional<RemoteApplicationInfo> listed(const std::string& id) {
        const auto response = request("applications");
        EXPECT_TRUE(response.ok && response.applications) << response.error.value_or("");
        if (!response.applications) return std::nullopt;
        const auto& all = *response.applications;
        const auto it = std::find_if(all.begin(), all.end(), [&](const auto& a) { return a.bundleIdentifier == id; });
        if (it == all.end()) return std::nullopt;
        return *it;
    }

    // Whether the window manager still manages a window of the process that
    // made the "started" report. Windows are told apart by their process, not
    // their id: the X server hands a departed client's ids to the next one, so
    // a restarted instance's window often has its predecessor's id.
    static bool managesAWindowOf(const TestApplicationReport& started) {
        const auto process = static_cast<std::uint32_t>(started.integer("pid").value_or(0));
        const auto clients = witnessedNumbers("_NET_CLIENT_LIST");
        return std::any_of(clients.begin(), clients.end(), [&](std::uint32_t client) {
            return witnessedNumbers("_NET_WM_PID", client) == std::vector{process};
        });
    }

    InstalledApplicationsGuard guard{{kInstalledTestApp, kInstalledTestApp2, kUrlRecorder, kFileRecorder}};
    TestDevice phone;
    int number = 0;
};

TEST_F(BinaryX11Applications, ListsLaunchesActivatesRestartsAndQuits) {
    const std::string id = desktopID(kInstalledTestApp);
    const auto installed = listed(id);
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->localizedName, "Zentrabo Test App");
    EXPECT_FALSE(installed->isRunning);
    EXPECT_TRUE(listed(desktopID(kInstalledTestApp2)));
    EXPECT_FALSE(listed("org.zentrabo.HiddenApp.desktop")) << "a Hidden entry is listed";
    EXPECT_FALSE(listed(desktopID(kUrlRecorder))) << "a NoDisplay entry is listed";

    const auto activated = request("activate", id);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const auto started = waitForReport(kInstalledTestApp, "started");
    const auto mapped = waitForReport(kInstalledTestApp, "mapped");
    ASSERT_TRUE(started && mapped);
    const auto window = static_cast<std::uint32_t>(mapped->integer("xid").value_or(0));
    EXPECT_TRUE(eventually([&] { return witnessedNumbers("_NET_ACTIVE_WINDOW") == std::vector{window}; }))
        << "the window manager never made the launched window active";
    const auto running = listed(id);
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->isRunning);
    EXPECT_EQ(running->localizedName, "Zentrabo Test App");

    const auto windows = request("applicationWindows", id);
    ASSERT_TRUE(windows.ok && windows.applicationWindows) << windows.error.value_or("");
    ASSERT_EQ(windows.applicationWindows->size(), 1u);
    EXPECT_EQ(windows.applicationWindows->front().windowID, window);
    EXPECT_EQ(std::make_pair(mapped->integer("width"), mapped->integer("height")),
              std::make_pair(std::optional<std::int64_t>(420), std::optional<std::int64_t>(300)));

    const auto restarted = request("restartApplication", id);
    ASSERT_TRUE(restarted.ok) << restarted.error.value_or("");
    const auto second = waitForReport(kInstalledTestApp, "started", 1);
    ASSERT_TRUE(second);
    EXPECT_NE(second->integer("pid"), started->integer("pid"));
    EXPECT_TRUE(eventually([&] { return !managesAWindowOf(*started); }))
        << "the first process's window outlived the restart";
    const auto secondWindow = waitForReport(kInstalledTestApp, "mapped", 1);
    ASSERT_TRUE(secondWindow);

    const auto quit = request("quit", id);
    ASSERT_TRUE(quit.ok) << quit.error.value_or("");
    EXPECT_TRUE(eventually([&] { return !managesAWindowOf(*second); })) << "the window is still managed after quit";
    EXPECT_TRUE(eventually([&] {
        const auto after = listed(id);
        return after && !after->isRunning;
    })) << "the application is still listed as running";
}

TEST_F(BinaryX11Applications, LaunchesTheExactArgumentsOfAnExecLine) {
    const auto activated = request("activate", desktopID(kInstalledTestApp2));
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const auto started = waitForReport(kInstalledTestApp2, "started");
    ASSERT_TRUE(started);
    auto argv = reportedArguments(*started);
    const auto separator = std::find(argv.begin(), argv.end(), "--");
    ASSERT_NE(separator, argv.end());
    const std::vector<std::string> trailing(separator + 1, argv.end());
    const auto entry = installedTestApplications() / "share/applications" / desktopID(kInstalledTestApp2);
    EXPECT_EQ(trailing,
              (std::vector<std::string>{"two words", "quote \" inside", "$HOME", ";|&<>", "100%", "Zentrabo Second App",
                                        entry.string(), "--icon", "org.zentrabo.TestApp2"}));
    const auto quit = request("quit", desktopID(kInstalledTestApp2));
    EXPECT_TRUE(quit.ok) << quit.error.value_or("");
}

TEST_F(BinaryX11Applications, OpensURLsAndFilesWithTheDefaultHandlers) {
    const std::string url = "zentrabo-test://open/a%20b?x=1&y=$(id);z";
    auto openURL = deviceRequest("U-1", "openURL");
    openURL.urlString = url;
    const auto opened = send(phone, openURL);
    ASSERT_TRUE(opened.ok) << opened.error.value_or("");
    const auto urlReport = waitForReport(kUrlRecorder, "started");
    ASSERT_TRUE(urlReport);
    EXPECT_EQ(reportedArguments(*urlReport).back(), url);

    const auto file = home.path() / "Report; 'quoted' $(id).zentrabotest";
    std::ofstream(file) << "x";
    auto openFile = deviceRequest("F-1", "openFile");
    openFile.filePath = file.string();
    const auto fileOpened = send(phone, openFile);
    ASSERT_TRUE(fileOpened.ok) << fileOpened.error.value_or("");
    const auto fileReport = waitForReport(kFileRecorder, "started");
    ASSERT_TRUE(fileReport);
    EXPECT_EQ(reportedArguments(*fileReport).back(), file.string());

    // Without a handler the request fails; nothing is reported as opened.
    auto unhandled = deviceRequest("U-2", "openURL");
    unhandled.urlString = "zentrabo-unhandled://x";
    const auto refused = send(phone, unhandled);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::actionFailed);
    const auto other = home.path() / "plain.unknown-type";
    std::ofstream(other) << "x";
    auto unhandledFile = deviceRequest("F-2", "openFile");
    unhandledFile.filePath = other.string();
    const auto fileRefused = send(phone, unhandledFile);
    EXPECT_FALSE(fileRefused.ok);
    EXPECT_EQ(fileRefused.errorCode, HalvardineErrorCode::actionFailed);
}

TEST_F(BinaryX11Applications, GivesTheEntriesPngAndSvgIconsAsSmallPngs) {
    auto made = deviceRequest("I-1", "applicationIcons");
    made.bundleIdentifiers = std::vector{desktopID(kInstalledTestApp), desktopID(kInstalledTestApp2)};
    const auto response = send(phone, made);
    ASSERT_TRUE(response.ok && response.applicationIcons) << response.error.value_or("");
    ASSERT_EQ(response.applicationIcons->size(), 2u);
    // The PNG is an orange square, the SVG a blue disc: both fill the
    // middle of the icon, their margins trimmed.
    const std::pair<std::string, std::array<int, 3>> expected[] = {{desktopID(kInstalledTestApp), {255, 128, 0}},
                                                                   {desktopID(kInstalledTestApp2), {16, 96, 224}}};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& icon = response.applicationIcons->at(i);
        EXPECT_EQ(icon.bundleIdentifier, expected[i].first);
        EXPECT_EQ(icon.pixelSize, 96);
        const auto picture = platform::decodePng(icon.pngData);
        ASSERT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(96u, 96u));
        const auto* middle = picture.pixel(48, 48);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(middle[channel], expected[i].second[channel], 2) << icon.bundleIdentifier;
        }
        EXPECT_EQ(middle[3], 255);
    }
}

}  // namespace
}  // namespace zentrabo::testing
