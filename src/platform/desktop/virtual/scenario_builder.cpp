#include "platform/desktop/virtual/scenario_builder.hpp"

#include <utility>

namespace zentrabo::platform {

ScenarioMenuItem ScenarioMenuItem::disabled() && {
    enabled = false;
    return std::move(*this);
}

ScenarioMenuItem ScenarioMenuItem::then(ScenarioEffect effect) && {
    effects.push_back(std::move(effect));
    return std::move(*this);
}

ScenarioMenuItem menuItem(std::string title, std::optional<std::string> shortcut) {
    ScenarioMenuItem item;
    item.title = std::move(title);
    item.shortcut = std::move(shortcut);
    return item;
}

ScenarioMenuItem submenu(std::string title, std::vector<ScenarioMenuItem> children) {
    ScenarioMenuItem item;
    item.title = std::move(title);
    item.children = std::move(children);
    return item;
}

ScenarioMenuItem separator() { return {}; }

ScenarioEffect opensSheet(ScenarioSheet sheet, double delay) {
    ScenarioEffect effect;
    effect.kind = EffectKind::openSheet;
    effect.sheet = std::move(sheet);
    effect.delay = delay;
    return effect;
}

ScenarioEffect dismissesSheet() { return {}; }

ScenarioEffect activatesApplication(std::string bundleIdentifier, double delay) {
    ScenarioEffect effect;
    effect.kind = EffectKind::activateApplication;
    effect.bundleIdentifier = std::move(bundleIdentifier);
    effect.delay = delay;
    return effect;
}

ScenarioEffect quitsApplication(std::string bundleIdentifier) {
    ScenarioEffect effect;
    effect.kind = EffectKind::quitApplication;
    effect.bundleIdentifier = std::move(bundleIdentifier);
    return effect;
}

ScenarioEffect opensWindow(std::string title) {
    ScenarioEffect effect;
    effect.kind = EffectKind::openWindow;
    effect.windowTitle = std::move(title);
    return effect;
}

ScenarioEffect closesWindow(std::string title) {
    ScenarioEffect effect;
    effect.kind = EffectKind::closeWindow;
    effect.windowTitle = std::move(title);
    return effect;
}

ApplicationBuilder& ApplicationBuilder::menu(std::string title, std::vector<ScenarioMenuItem> items) {
    spec().menus.push_back(submenu(std::move(title), std::move(items)));
    return *this;
}

ApplicationBuilder& ApplicationBuilder::window(std::string title, Rect frame) {
    ScenarioWindow window;
    window.title = std::move(title);
    window.frame = frame;
    return this->window(std::move(window));
}

ApplicationBuilder& ApplicationBuilder::window(ScenarioWindow window) {
    spec().windows.push_back(std::move(window));
    return *this;
}

ApplicationBuilder& ApplicationBuilder::displayName(std::string name) {
    spec().displayName = std::move(name);
    return *this;
}

ApplicationBuilder& ApplicationBuilder::policy(ActivationPolicy policy) {
    spec().activationPolicy = policy;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::notRunning() {
    spec().running = false;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::notInstalled() {
    spec().installed = false;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::installedIn(ApplicationFolder folder, std::string subfolder) {
    spec().installed = true;
    spec().folder = folder;
    spec().subfolder = std::move(subfolder);
    return *this;
}

ApplicationBuilder& ApplicationBuilder::hidden() {
    spec().hidden = true;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::unresponsive() {
    spec().responsive = false;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::refusesTerminate() {
    spec().acceptsTerminate = false;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::launchDelay(double seconds) {
    spec().launchDelay = seconds;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::terminateDelay(double seconds) {
    spec().terminateDelay = seconds;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::forceTerminateDelay(double seconds) {
    spec().forceTerminateDelay = seconds;
    return *this;
}

ApplicationBuilder& ApplicationBuilder::tone(double frequency, double level, std::uint32_t channelCount) {
    spec().tone = ScenarioTone{frequency, level, channelCount};
    return *this;
}

ApplicationBuilder& ApplicationBuilder::failsToLaunch(std::string error) {
    spec().launchFailure = std::move(error);
    return *this;
}

ApplicationBuilder DesktopBuilder::application(std::string name, std::string bundleIdentifier) {
    ScenarioApplication application;
    application.name = std::move(name);
    application.bundleIdentifier = std::move(bundleIdentifier);
    scenario_.applications.push_back(std::move(application));
    return ApplicationBuilder(scenario_, scenario_.applications.size() - 1);
}

DesktopBuilder& DesktopBuilder::display(DisplayID id, Rect bounds, double scale, std::optional<std::string> name) {
    ScenarioDisplay display;
    display.id = id;
    display.bounds = bounds;
    display.scale = scale;
    display.name = std::move(name);
    return this->display(std::move(display));
}

DesktopBuilder& DesktopBuilder::display(ScenarioDisplay display) {
    scenario_.displays.push_back(std::move(display));
    return *this;
}

DesktopBuilder& DesktopBuilder::frontmost(std::string bundleIdentifier) {
    scenario_.frontmost = std::move(bundleIdentifier);
    return *this;
}

DesktopBuilder& DesktopBuilder::accessibilityTrusted(bool trusted) {
    scenario_.permissions.accessibility = trusted;
    return *this;
}

DesktopBuilder& DesktopBuilder::screenRecordingAllowed(bool allowed) {
    scenario_.permissions.screenRecording = allowed;
    return *this;
}

DesktopBuilder& DesktopBuilder::pasteboardText(std::string text) {
    scenario_.pasteboardText = std::move(text);
    return *this;
}

DesktopBuilder& DesktopBuilder::keyboardLayout(std::string currentLayout, std::vector<ScenarioInputSource> sources) {
    scenario_.keyboard.currentLayout = std::move(currentLayout);
    scenario_.keyboard.inputSources = std::move(sources);
    return *this;
}

DesktopScenario DesktopBuilder::build() const {
    DesktopScenario scenario = scenario_;
    if (scenario.displays.empty()) {
        ScenarioDisplay display;
        display.bounds = {0, 0, 1440, 900};
        scenario.displays.push_back(display);
    }
    return scenario;
}

}  // namespace zentrabo::platform
