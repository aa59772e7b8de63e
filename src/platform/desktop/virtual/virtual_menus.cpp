// An application's menus and dialogs read and pressed, and the focused
// field written, in one call each: the walk runs under the lock, and an
// application that does not answer holds the caller once, for one call's
// time.

#include "platform/desktop/menu_walk.hpp"
#include "platform/desktop/modal_walk.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

struct VirtualDesktop::LockedTree {
    VirtualDesktop& desktop;

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) {
        return desktop.readAttributeLocked(element, name);
    }
    AXError childElements(const AXElement& element, std::vector<AXElement>& children) {
        auto read = menuwalk::valueOf<std::vector<AXElement>>(desktop.readAttributeLocked(element, "AXChildren"));
        if (read) children = std::move(*read);
        return axerror::success;
    }
    AXError performAction(const AXElement& element, const std::string& action) {
        return desktop.performLocked(element, action);
    }
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
        return desktop.writeAttributeLocked(element, name, value);
    }

    // The walk's answer; or unreadable with the error of an application
    // that cannot be read (none: the active one), having waited one call's
    // time for one that does not answer.
    template <typename Walk, typename Unreadable>
    static auto run(VirtualDesktop& desktop, std::optional<ProcessID> application, const MenuReadLimits& limits,
                    Walk walk, Unreadable unreadable) {
        AXError error = axerror::success;
        {
            auto lock = desktop.settle();
            const auto target =
                desktop.checkElementLocked(desktop.applicationElement(application.value_or(desktop.active_)));
            if (target.error == axerror::success) {
                LockedTree tree{desktop};
                return walk(tree, std::chrono::steady_clock::now() + limits.inAll);
            }
            error = target.error;
        }
        if (error == axerror::cannotComplete) {
            desktop.clock_.sleep(std::chrono::duration<double>(limits.perCall).count());
        }
        return unreadable(error);
    }
};

MenuTreeRead VirtualDesktop::menuTree(ProcessID application, const MenuReadLimits& limits) {
    return LockedTree::run(
        *this, application, limits,
        [&](LockedTree& tree, auto deadline) { return readMenuTree(tree, application, limits, deadline); },
        [](AXError error) {
            return MenuTreeRead{error, false, {}};
        });
}

MenuPressResult VirtualDesktop::pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                              const MenuReadLimits& limits) {
    return LockedTree::run(
        *this, application, limits,
        [&](LockedTree& tree, auto deadline) { return pressMenuPath(tree, application, levels, choose, deadline); },
        [](AXError error) {
            return MenuPressResult{MenuPressResult::Outcome::menuUnreadable, error, 0};
        });
}

std::optional<ModalWindow> VirtualDesktop::modalWindow(ProcessID application, const MenuReadLimits& limits) {
    return LockedTree::run(
        *this, application, limits,
        [&](LockedTree& tree, auto deadline) { return readModalWindow(tree, application, deadline); },
        [](AXError) { return std::optional<ModalWindow>(); });
}

ModalPressResult VirtualDesktop::pressModalButton(ProcessID application, const ModalButtonChooser& choose,
                                                  const MenuReadLimits& limits) {
    return LockedTree::run(
        *this, application, limits,
        [&](LockedTree& tree, auto deadline) {
            return platform::pressModalButton(tree, application, choose, deadline);
        },
        [](AXError) { return ModalPressResult{}; });
}

bool VirtualDesktop::insertIntoFocusedField(const std::string& text, const MenuReadLimits& limits) {
    return LockedTree::run(
        *this, std::nullopt, limits,
        [&](LockedTree& tree, auto) { return platform::insertIntoFocusedField(tree, systemWideElement(), text); },
        [](AXError) { return false; });
}

}  // namespace zentrabo::platform
