#pragma once
// Typed reads of accessibility attributes that never fail: a failed read, a
// missing value and a value of another type are all none.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo {

template <class T>
std::optional<T> accessibilityValue(const platform::AXAttributeResult& result) {
    if (result.error != platform::axerror::success || !result.value) return std::nullopt;
    if (const auto* value = std::get_if<T>(&*result.value)) return *value;
    return std::nullopt;
}

// Sets the element's messaging timeout, then reads the attribute as a T.
template <class T>
std::optional<T> readAccessibilityValue(platform::Accessibility& accessibility, const platform::AXElement& element,
                                        const std::string& name, double messagingTimeout) {
    accessibility.setMessagingTimeout(element, messagingTimeout);
    return accessibilityValue<T>(accessibility.copyAttribute(element, name));
}

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
