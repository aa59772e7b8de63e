#pragma once
// The window that blocks an application (a sheet or a modal dialog) and
// the focused text field, as the accessibility interface reads and changes
// them in one call each.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

struct ModalButton {
    // As the application gives it; empty when it has none.
    std::string title;
    // Whether the window names it its cancel or its close button.
    bool cancels = false;
    bool closes = false;
    bool operator==(const ModalButton&) const = default;
};

// What is read of a blocking window; empty texts are unread or missing.
struct ModalWindow {
    std::string title;
    // The role names callers see, from the backend's role table.
    std::string role;
    std::string subrole;
    // What the window says: its own description, help or value, else the
    // first static text inside it that has one.
    std::string message;
    // Every button inside it, in the order a depth-first walk meets them.
    std::vector<ModalButton> buttons;
    bool operator==(const ModalWindow&) const = default;
};

// Picks the button to press from the window's buttons; none presses
// nothing.
using ModalButtonChooser = std::function<std::optional<std::size_t>(const ModalWindow& modal)>;

struct ModalPressResult {
    // The window as it was before the press; none when nothing blocked.
    std::optional<ModalWindow> modal;
    bool pressed = false;
};

}  // namespace zentrabo::platform
