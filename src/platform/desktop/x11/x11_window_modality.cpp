#include "platform/desktop/x11/x11_window_modality.hpp"

#include <algorithm>

#include "platform/desktop/x11/x11_properties.hpp"

namespace zentrabo::platform {

bool isModalWindow(X11Connection& x, xcb_window_t window, const std::vector<ManagedWindow>& windows) {
    const auto managed =
        std::find_if(windows.begin(), windows.end(), [&](const ManagedWindow& each) { return each.id == window; });
    if (managed == windows.end() || managed->minimized || managed->pid == 0) return false;
    PropertyRead stateRead(x, window, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    PropertyRead typeRead(x, window, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    PropertyRead ownerRead(x, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
    const auto states = stateRead.numbers();
    const auto types = typeRead.numbers();
    const auto owner = ownerRead.number();
    if (std::find(states.begin(), states.end(), x.atom("_NET_WM_STATE_MODAL")) != states.end()) return true;
    if (types.empty() || types.front() != x.atom("_NET_WM_WINDOW_TYPE_DIALOG") || !owner || *owner == window) {
        return false;
    }
    return std::any_of(windows.begin(), windows.end(),
                       [&](const ManagedWindow& each) { return each.id == *owner && each.pid == managed->pid; });
}

bool hasModalWindow(X11Connection& x, ProcessID pid, const std::vector<ManagedWindow>& windows) {
    return std::any_of(windows.begin(), windows.end(), [&](const ManagedWindow& window) {
        return window.pid == pid && isModalWindow(x, window.id, windows);
    });
}

}  // namespace zentrabo::platform
