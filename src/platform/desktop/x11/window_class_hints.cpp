#include "platform/desktop/x11/window_class_hints.hpp"

#include "platform/desktop/x11/x11_properties.hpp"

namespace zentrabo::platform {

namespace {

// Class names are short; a longer property is read only this far.
constexpr std::uint32_t maximumHintBytes = 512;

}  // namespace

std::vector<WindowClassHints> readWindowClassHints(X11Connection& x, const std::vector<xcb_window_t>& windows) {
    std::vector<std::pair<PropertyRead, PropertyRead>> reads;
    reads.reserve(windows.size());
    for (const xcb_window_t window : windows) {
        reads.emplace_back(
            PropertyRead(x, window, x.atom("_GTK_APPLICATION_ID"), x.atom("UTF8_STRING"), maximumHintBytes),
            PropertyRead(x, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, maximumHintBytes));
    }
    std::vector<WindowClassHints> hints;
    for (auto& [applicationID, wmClass] : reads) {
        WindowClassHints hint;
        hint.applicationID = applicationID.text();
        // "instance\0class\0"
        const std::string names = wmClass.text().value_or("");
        const auto split = names.find('\0');
        hint.instance = names.substr(0, split);
        if (split != std::string::npos) {
            const auto end = names.find('\0', split + 1);
            hint.className = names.substr(split + 1, end == std::string::npos ? std::string::npos : end - split - 1);
        }
        hints.push_back(std::move(hint));
    }
    return hints;
}

}  // namespace zentrabo::platform
