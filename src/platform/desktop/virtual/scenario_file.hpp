#pragma once
// Desktop scenarios as JSON files (the format is described in
// docs/VIRTUAL_DESKTOP.md), and the scenario the server starts with.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop/virtual/desktop_scenario.hpp"

namespace zentrabo::platform {

// Decodes and validates a scenario. Throws ScenarioError naming the place
// and the fault ("applications[0].menus[1].items[2].shortcut: not a shortcut").
// Unknown keys are faults too, so a misspelt key is not silently ignored.
DesktopScenario parseDesktopScenario(std::string_view json);
// The JSON form of a scenario; parseDesktopScenario reads it back equal.
std::string writeDesktopScenario(const DesktopScenario& scenario);
// Reads a scenario file; the ScenarioError names the file and the fault.
DesktopScenario readDesktopScenarioFile(const std::filesystem::path& path);

// virtual-desktop.json in the program's config folder.
std::filesystem::path desktopScenarioPath();
// That file when it exists: the scenario the server starts with is its.
std::optional<std::filesystem::path> desktopScenarioFile();
// The scenario file when it exists, else the built-in scenario. Throws
// ScenarioError for a scenario file that cannot be used.
DesktopScenario loadDesktopScenario();
// A few applications with full menu trees and windows, one display, every
// permission granted.
DesktopScenario defaultDesktopScenario();

}  // namespace zentrabo::platform
