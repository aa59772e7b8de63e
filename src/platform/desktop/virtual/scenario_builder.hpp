#pragma once
// Builds a desktop scenario in code, for tests:
//   DesktopBuilder builder;
//   builder.application("Notes", "com.example.notes")
//       .menu("File", {menuItem("New", "cmd+N"), separator(), menuItem("Quit", "cmd+Q").then(quitsApplication())})
//       .window("Note 1", {100, 100, 640, 480});
//   builder.display(1, {0, 0, 1440, 900}, 2.0);
//   auto desktop = VirtualDesktop::create(builder.build(), clock);
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop/virtual/desktop_scenario.hpp"

namespace zentrabo::platform {

class ApplicationBuilder {
public:
    ApplicationBuilder(DesktopScenario& scenario, std::size_t index) : scenario_(&scenario), index_(index) {}

    ApplicationBuilder& menu(std::string title, std::vector<ScenarioMenuItem> items);
    ApplicationBuilder& window(std::string title, Rect frame);
    ApplicationBuilder& window(ScenarioWindow window);
    ApplicationBuilder& displayName(std::string name);
    ApplicationBuilder& policy(ActivationPolicy policy);
    ApplicationBuilder& notRunning();
    ApplicationBuilder& notInstalled();
    ApplicationBuilder& installedIn(ApplicationFolder folder, std::string subfolder = {});
    ApplicationBuilder& hidden();
    ApplicationBuilder& unresponsive();
    ApplicationBuilder& refusesTerminate();
    ApplicationBuilder& launchDelay(double seconds);
    ApplicationBuilder& terminateDelay(double seconds);
    ApplicationBuilder& forceTerminateDelay(double seconds);
    // Every launch fails with the text and starts nothing.
    ApplicationBuilder& failsToLaunch(std::string error = "The application can’t be opened.");
    ApplicationBuilder& tone(double frequency, double level = 0.25, std::uint32_t channelCount = 2);

    ScenarioApplication& spec() { return scenario_->applications[index_]; }

private:
    DesktopScenario* scenario_;
    std::size_t index_;
};

class DesktopBuilder {
public:
    ApplicationBuilder application(std::string name, std::string bundleIdentifier);
    DesktopBuilder& display(DisplayID id, Rect bounds, double scale = 1, std::optional<std::string> name = {});
    DesktopBuilder& display(ScenarioDisplay display);
    DesktopBuilder& frontmost(std::string bundleIdentifier);
    DesktopBuilder& accessibilityTrusted(bool trusted);
    DesktopBuilder& screenRecordingAllowed(bool allowed);
    DesktopBuilder& pasteboardText(std::string text);
    DesktopBuilder& keyboardLayout(std::string currentLayout, std::vector<ScenarioInputSource> sources = {});

    // The scenario, with one 1440 x 900 display when none was added.
    DesktopScenario build() const;

private:
    DesktopScenario scenario_;
};

}  // namespace zentrabo::platform
