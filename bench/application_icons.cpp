// A repeated `applicationIcons` request of 1,000 identifiers whose icons
// are missing, on the X11 session of $DISPLAY: once for identifiers no
// application has, once for identifiers of which the first 100 are installed
// applications whose Icon names no icon file. Each row asks once before it is timed, so what it measures is
// the second and later requests, which the icon look-up cache answers. The
// applications are desktop entries in a temporary home, beside the
// system's entries and icon themes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/temporary_home.hpp"

namespace {

using namespace zentrabo;

constexpr int identifierCount = 1000;
// Installed applications without an icon file, about as many entries as a
// desktop system has.
constexpr int iconlessCount = 100;

struct Session {
    testing::TemporaryHome home;
    platform::SystemClock clock;
    std::unique_ptr<platform::X11Desktop> desktop;
    std::unique_ptr<DesktopController> controller;
};

Session& session() {
    static Session made;
    return made;
}

std::vector<std::string> identifiers(const std::string& prefix) {
    std::vector<std::string> made;
    for (int index = 0; index < identifierCount; ++index) made.push_back(prefix + std::to_string(index) + ".desktop");
    return made;
}

void requestTwice(benchmark::State& state, const std::vector<std::string>& requested) {
    if (!session().controller) {
        state.SkipWithError("no X display (set DISPLAY)");
        return;
    }
    session().controller->applicationIcons(requested);
    for (auto _ : state) benchmark::DoNotOptimize(session().controller->applicationIcons(requested));
}

void BM_RepeatedRequestForUnknownIdentifiers(benchmark::State& state) {
    requestTwice(state, identifiers("org.example.Unknown"));
}

void BM_RepeatedRequestForApplicationsWithoutIconFiles(benchmark::State& state) {
    requestTwice(state, identifiers("org.example.Iconless"));
}

}  // namespace

BENCHMARK(BM_RepeatedRequestForUnknownIdentifiers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedRequestForApplicationsWithoutIconFiles)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    const auto applications = session().home.path() / ".local/share/applications";
    std::filesystem::create_directories(applications);
    for (int index = 0; index < iconlessCount; ++index) {
        std::ofstream(applications / ("org.example.Iconless" + std::to_string(index) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Iconless " << index
            << "\nExec=/bin/true\nIcon=org.example.no-such-icon-" << index << "\n";
    }
    // Installed a while ago, as a system's entries are: folders changed in
    // the last moments are walked afresh at every look-up.
    std::filesystem::last_write_time(applications,
                                     std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
    if (const char* display = std::getenv("DISPLAY"); display && *display) {
        try {
            session().desktop = platform::X11Desktop::create(display, session().clock);
            session().controller = std::make_unique<DesktopController>(*session().desktop);
        } catch (const platform::X11Error& error) {
            std::printf("X11 session %s: not measured, %s\n", display, error.what());
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session().controller.reset();
    session().desktop.reset();
    return 0;
}
