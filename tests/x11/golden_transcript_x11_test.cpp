// The golden transcript on the tests' X11 session (--desktop x11), its
// applications the session's installed test applications
// (tests/app/golden_transcript.hpp says how to rewrite its expected file).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/golden_transcript.hpp"
#include "support/x11_session.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class GoldenTranscriptX11 : public GoldenTranscriptOn<X11SessionTest> {
protected:
    GoldenTranscriptX11()
        : GoldenTranscriptOn({.serverArguments = {"--desktop", "x11"},
                              .expectedFile = "transcript-x11.txt",
                              .testFile = "tests/x11/golden_transcript_x11_test.cpp",
                              .documentApplication = desktopID(kInstalledMenuApp),
                              .dialogMenuPath = R"(["File","Confirm…"])",
                              .otherApplication = desktopID(kInstalledTestApp)}) {
        // The session's display number is the first free one at its start.
        if (const auto display = x11SessionDisplay()) chosen["X11 display <display>"] = "X11 display " + *display;
    }

    void SetUp() override {
        GoldenTranscriptOn::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_FALSE(installedTestApplications().empty()) << "the session installed no test applications";
    }

    // The launched application's process and window, learnt from its reports.
    std::map<std::string, std::string> awaitApplication(const std::string& id) override {
        const std::string application = id.substr(0, id.size() - std::string_view(".desktop").size());
        const auto started = waitForReport(application, "started");
        const auto mapped = waitForReport(application, "mapped");
        if (!started || !mapped) {
            ADD_FAILURE() << id << " never showed its window";
            return {};
        }
        const auto window = static_cast<std::uint32_t>(mapped->integer("xid").value_or(0));
        EXPECT_TRUE(eventually([&] { return witnessedNumbers("_NET_ACTIVE_WINDOW") == std::vector{window}; }))
            << id << " never came to the front";
        return applicationValues(application, started->integer("pid").value_or(0), window);
    }

    InstalledApplicationsGuard guard{{kInstalledMenuApp, kInstalledTestApp}};
};

TEST_F(GoldenTranscriptX11, TheTerminalAndADeviceSeeWhatTheTranscriptHolds) { runTranscript(); }

}  // namespace
}  // namespace zentrabo::testing
