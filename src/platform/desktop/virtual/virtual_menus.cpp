// An application's menus read and pressed in one call: the menu walk runs
// under the lock, and an application that does not answer holds the caller
// once, for one call's time.

#include "platform/desktop/menu_walk.hpp"
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

    // The walk's answer; or unreadable, with the error of an application
    // that cannot be read, having waited one call's time for one that does
    // not answer.
    template <typename Result, typename Walk>
    static Result run(VirtualDesktop& desktop, ProcessID application, const MenuReadLimits& limits, Result unreadable,
                      Walk walk) {
        {
            auto lock = desktop.settle();
            const auto target = desktop.checkElementLocked(desktop.applicationElement(application));
            if (target.error == axerror::success) {
                LockedTree tree{desktop};
                return walk(tree, std::chrono::steady_clock::now() + limits.inAll);
            }
            unreadable.error = target.error;
        }
        if (unreadable.error == axerror::cannotComplete) {
            desktop.clock_.sleep(std::chrono::duration<double>(limits.perCall).count());
        }
        return unreadable;
    }
};

MenuTreeRead VirtualDesktop::menuTree(ProcessID application, const MenuReadLimits& limits) {
    return LockedTree::run(*this, application, limits, MenuTreeRead{}, [&](LockedTree& tree, auto deadline) {
        return readMenuTree(tree, application, limits, deadline);
    });
}

MenuPressResult VirtualDesktop::pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                              const MenuReadLimits& limits) {
    return LockedTree::run(*this, application, limits, MenuPressResult{}, [&](LockedTree& tree, auto deadline) {
        return pressMenuPath(tree, application, levels, choose, deadline);
    });
}

}  // namespace zentrabo::platform
