// The accessibility trees of the virtual desktop's applications: menus,
// windows and sheets, and the effects that change them.
#include <unicode/unistr.h>

#include <algorithm>

#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

namespace {

constexpr Size panelSize{420, 180};
constexpr Size openedWindowSize{640, 480};

}  // namespace

VirtualDesktop::NodeID VirtualDesktop::addNodeLocked(ProcessID owner, NodeID parent, std::string role) {
    const NodeID id = nextNode_++;
    Node node;
    node.id = id;
    node.owner = owner;
    node.parent = parent;
    node.role = std::move(role);
    nodes_.emplace(id, std::move(node));
    if (parent != 0) nodes_.at(parent).children.push_back(id);
    return id;
}

void VirtualDesktop::removeNodeLocked(NodeID id) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    if (it->second.parent != 0) {
        if (auto parent = nodes_.find(it->second.parent); parent != nodes_.end())
            std::erase(parent->second.children, id);
    }
    // Iterative, so a deep tree cannot exhaust the stack.
    std::vector<NodeID> doomed{id};
    while (!doomed.empty()) {
        const NodeID next = doomed.back();
        doomed.pop_back();
        auto found = nodes_.find(next);
        if (found == nodes_.end()) continue;
        doomed.insert(doomed.end(), found->second.children.begin(), found->second.children.end());
        nodes_.erase(found);
    }
}

void VirtualDesktop::buildMenuLocked(ProcessID owner, NodeID parent, const ScenarioMenuItem& item, bool topLevel,
                                     int depth) {
    if (depth > maximumTreeDepth) return;
    const NodeID id = addNodeLocked(owner, parent, topLevel ? "AXMenuBarItem" : "AXMenuItem");
    {
        Node& node = nodes_.at(id);
        node.title = item.title;
        node.enabled = item.enabled;
        node.isMenuItem = !topLevel;
        node.effects = item.effects;
        if (item.shortcut) {
            if (auto shortcut = parseMenuShortcut(*item.shortcut)) {
                node.commandCharacter = shortcut->character;
                node.commandModifiers = shortcut->modifiers;
            }
        }
    }
    if (item.children.empty()) return;
    const NodeID menu = addNodeLocked(owner, id, "AXMenu");
    nodes_.at(menu).enabled = true;
    for (const auto& child : item.children) buildMenuLocked(owner, menu, child, false, depth + 1);
}

WindowID VirtualDesktop::addWindowLocked(Application& application, const ScenarioWindow& spec, bool atFront) {
    Window window;
    window.number = nextWindow_++;
    window.owner = application.pid;
    window.ownerName = application.spec.name;
    window.title = spec.title;
    window.frame = spec.frame;
    window.minimized = spec.minimized;
    window.color = spec.color;
    window.minimumSize = spec.minimumSize.value_or(defaultMinimumWindowSize);
    window.resizable = spec.resizable.value_or(true);
    // A window opened while shareable content lags is missing from it at first.
    window.sharedFetchesLeft = shareableContentLag_;
    window.node = addNodeLocked(application.pid, 0, "AXWindow");
    {
        Node& node = nodes_.at(window.node);
        node.subrole = "AXStandardWindow";
        node.window = window.number;
    }
    if (spec.text) {
        window.textField = addNodeLocked(application.pid, window.node, "AXTextField");
        Node& field = nodes_.at(window.textField);
        field.value = *spec.text;
        field.enabled = true;
        field.selection = {icu::UnicodeString::fromUTF8(*spec.text).length(), 0};
    }
    const WindowID number = window.number;
    windows_[number] = std::move(window);
    if (atFront) {
        application.windows.insert(application.windows.begin(), number);
        zOrder_.insert(zOrder_.begin(), number);
    } else {
        application.windows.push_back(number);
        // Behind every application window, in front of the desktop pictures.
        auto firstPicture =
            std::find_if(zOrder_.begin(), zOrder_.end(), [this](WindowID w) { return windows_.at(w).layer < 0; });
        zOrder_.insert(firstPicture, number);
    }
    return number;
}

void VirtualDesktop::closeWindowLocked(Application& application, WindowID number) {
    auto it = windows_.find(number);
    if (it == windows_.end()) return;
    removeNodeLocked(it->second.node);
    windows_.erase(it);
    std::erase(zOrder_, number);
    std::erase(application.windows, number);
}

void VirtualDesktop::openSheetLocked(Application& application, const ScenarioSheet& sheet) {
    WindowID host = 0;
    for (auto number : application.windows) {
        if (!windows_.at(number).minimized) {
            host = number;
            break;
        }
    }
    if (host != 0 && !sheet.panel) {
        const auto& siblings = nodes_.at(windows_.at(host).node).children;
        const auto sheets = std::count_if(siblings.begin(), siblings.end(),
                                          [this](NodeID child) { return nodes_.at(child).role == "AXSheet"; });
        if (static_cast<std::size_t>(sheets) >= maximumSheetsPerWindow) return;
    } else if (application.windows.size() >= maximumWindowsPerApplication) {
        return;
    }
    NodeID id = 0;
    if (host != 0 && !sheet.panel) {
        id = addNodeLocked(application.pid, windows_.at(host).node, "AXSheet");
        nodes_.at(id).title = sheet.title;
    } else {
        // A modal panel of its own, centred on the main display.
        const Rect screen = displays_.front().spec.bounds;
        ScenarioWindow panel;
        panel.title = sheet.title.value_or("");
        panel.frame = {screen.midX() - panelSize.width / 2, screen.midY() - panelSize.height / 2, panelSize.width,
                       panelSize.height};
        const WindowID number = addWindowLocked(application, panel, true);
        id = windows_.at(number).node;
        nodes_.at(id).subrole = "AXDialog";
        nodes_.at(id).modal = true;
    }
    if (sheet.message) {
        const NodeID text = addNodeLocked(application.pid, id, "AXStaticText");
        nodes_.at(text).value = *sheet.message;
    }
    for (const auto& spec : sheet.buttons) {
        const NodeID button = addNodeLocked(application.pid, id, "AXButton");
        Node& node = nodes_.at(button);
        node.title = spec.title;
        node.enabled = true;
        node.effects = spec.effects.empty() ? std::vector<ScenarioEffect>{dismissesSheet()} : spec.effects;
        if (sheet.cancelButton == spec.title && nodes_.at(id).cancelButton == 0) nodes_.at(id).cancelButton = button;
    }
    recordLocked("sheetOpened", application.spec.bundleIdentifier, sheet.title.value_or(sheet.message.value_or("")));
}

void VirtualDesktop::dismissSheetLocked(NodeID fromNode) {
    NodeID id = fromNode;
    for (int depth = 0; id != 0 && depth < maximumTreeDepth; ++depth) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) return;
        const Node& node = it->second;
        if (node.role == "AXSheet" || (node.modal && node.window != 0)) break;
        id = node.parent;
    }
    auto it = nodes_.find(id);
    if (id == 0 || it == nodes_.end()) return;
    auto* application = applicationLocked(it->second.owner);
    if (!application) return;
    recordLocked("sheetDismissed", application->spec.bundleIdentifier, elementPathLocked(id));
    if (it->second.window != 0) {
        closeWindowLocked(*application, it->second.window);
    } else {
        removeNodeLocked(id);
    }
}

void VirtualDesktop::runEffectsLocked(ProcessID owner, NodeID source, const std::vector<ScenarioEffect>& effects) {
    for (const auto& effect : effects) runEffectLocked(owner, source, effect);
}

void VirtualDesktop::runEffectLocked(ProcessID owner, NodeID source, const ScenarioEffect& effect) {
    if (effect.delay > 0) {
        ScenarioEffect now = effect;
        now.delay = 0;
        scheduleLocked(effect.delay, DelayedEffect{owner, source, std::move(now)});
        return;
    }
    auto* application = applicationLocked(owner);
    switch (effect.kind) {
    case EffectKind::openSheet:
        if (application && effect.sheet) openSheetLocked(*application, *effect.sheet);
        break;
    case EffectKind::dismissSheet:
        dismissSheetLocked(source);
        break;
    case EffectKind::activateApplication:
        if (auto* target = applicationLocked(effect.bundleIdentifier)) {
            recordLocked("activate", target->spec.bundleIdentifier, "all windows");
            activateLocked(*target, true);
        } else {
            launchInstalledLocked(effect.bundleIdentifier, true);
        }
        break;
    case EffectKind::quitApplication: {
        auto* target = effect.bundleIdentifier.empty() ? application : applicationLocked(effect.bundleIdentifier);
        if (target) terminateLocked(*target, false);
        break;
    }
    case EffectKind::openWindow:
        if (application && application->windows.size() < maximumWindowsPerApplication) {
            const Rect screen = displays_.front().spec.bounds;
            const double offset = 24.0 * static_cast<double>(application->windows.size() % 10);
            ScenarioWindow window;
            window.title = effect.windowTitle;
            window.frame = {screen.x + 80 + offset, screen.y + 60 + offset, openedWindowSize.width,
                            openedWindowSize.height};
            addWindowLocked(*application, window, true);
            recordLocked("windowOpened", application->spec.bundleIdentifier, effect.windowTitle);
        }
        break;
    case EffectKind::closeWindow:
        if (application) {
            for (auto number : application->windows) {
                if (effect.windowTitle.empty() || windows_.at(number).title == effect.windowTitle) {
                    recordLocked("windowClosed", application->spec.bundleIdentifier, windows_.at(number).title);
                    closeWindowLocked(*application, number);
                    break;
                }
            }
        }
        break;
    }
}

}  // namespace zentrabo::platform
