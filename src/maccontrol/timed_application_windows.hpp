#pragma once
// An application's windows read with the controller's messaging timeout.
#include <vector>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo {

// The application's windows, its element's messaging timeout set before they
// are read and each window's after.
inline std::vector<platform::ApplicationWindow> timedApplicationWindows(platform::Accessibility& accessibility,
                                                                        platform::ProcessID application,
                                                                        double messagingTimeout) {
    accessibility.setMessagingTimeout(accessibility.applicationElement(application), messagingTimeout);
    auto windows = accessibility.applicationWindows(application);
    for (const auto& window : windows) accessibility.setMessagingTimeout(window.handle, messagingTimeout);
    return windows;
}

}  // namespace zentrabo
