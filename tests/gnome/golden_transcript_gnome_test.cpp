// The golden transcript on the tests' GNOME session (--desktop gnome-wayland),
// its applications the session's installed menu application (a Wayland
// client) and an entry of the test's own home that starts the test
// application on XWayland (tests/app/golden_transcript.hpp says how to
// rewrite its expected file).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "app/golden_transcript.hpp"
#include "support/eventually.hpp"
#include "support/gnome_session.hpp"
#include "x11/installed_test_applications.hpp"

namespace zentrabo::testing {
namespace {

constexpr const char* kXWaylandApp = "org.zentrabo.XWaylandApp";

class GoldenTranscriptGnome : public GoldenTranscriptOn<GnomeSessionTest> {
protected:
    GoldenTranscriptGnome()
        : GoldenTranscriptOn({.serverArguments = {"--desktop", "gnome-wayland"},
                              .expectedFile = "transcript-gnome.txt",
                              .testFile = "tests/gnome/golden_transcript_gnome_test.cpp",
                              .documentApplication = desktopID(kInstalledMenuApp),
                              .dialogMenuPath = R"(["File","Confirm…"])",
                              .otherApplication = desktopID(kXWaylandApp)}) {}

    void SetUp() override {
        if (const auto session = gnomeSession()) writeXWaylandEntry(*session);
        GoldenTranscriptOn::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        // A run that fell back to another desktop cannot pass.
        ASSERT_EQ(desktopDescription.rfind("GNOME Wayland (", 0), 0u) << desktopDescription;
    }

    // The test application as an X11 client of the session's XWayland, its
    // reports beside the installed applications'.
    void writeXWaylandEntry(const GnomeSession& session) {
        const auto folder = home.path() / ".local/share/applications";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / desktopID(kXWaylandApp))
            << "[Desktop Entry]\nType=Application\nName=Zentrabo XWayland App\n"
            << "Exec=env GDK_BACKEND=x11 DISPLAY=" << session.x11Display << " XAUTHORITY=" << session.xauthority
            << " /usr/bin/python3 -B " ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/main.py --report "
            << reportFile(kXWaylandApp).string() << " --application-id " << kXWaylandApp
            << " --window name=Other,size=360x240\n";
    }

    // The launched application's process and window, learnt from its reports
    // and the shell's window list.
    std::map<std::string, std::string> awaitApplication(const std::string& id) override {
        const std::string application = id.substr(0, id.size() - std::string_view(".desktop").size());
        const auto started = waitForReport(application, "started");
        const auto mapped = waitForReport(application, "mapped");
        if (!started || !mapped) {
            ADD_FAILURE() << id << " never showed its window";
            return {};
        }
        const std::string title = mapped->text("window").value_or("");
        // The window in front with the title, and whether it is a Wayland client.
        std::optional<std::pair<std::uint64_t, bool>> front;
        EXPECT_TRUE(eventually([&] {
            for (const auto& [shown, seen] :
                 witnessedShellWindows().value_or(std::map<std::uint64_t, WitnessedWindow>{})) {
                if (seen.title == title && seen.hasFocus) front = {shown, seen.isWayland};
            }
            return front.has_value();
        })) << id
            << " never came to the front";
        const auto [window, onWayland] = front.value_or(std::pair<std::uint64_t, bool>{0, false});
        EXPECT_EQ(onWayland, application != kXWaylandApp) << id << " is a client of the other display server";
        return applicationValues(application, started->integer("pid").value_or(0), window);
    }

    InstalledApplicationsGuard guard{{kInstalledMenuApp, kXWaylandApp}};
};

TEST_F(GoldenTranscriptGnome, TheTerminalAndADeviceSeeWhatTheTranscriptHolds) { runTranscript(); }

}  // namespace
}  // namespace zentrabo::testing
