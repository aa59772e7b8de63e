#pragma once
// Accessibility actions that bring an application's windows back before a
// stream picks one: minimized windows restored, the rest raised. Both are
// best effort; neither reports a result.
#include <string>
#include <vector>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo {

// The elements an attribute lists; empty on any error, a missing value or a
// value of another kind.
std::vector<platform::AXElement> axElementArray(platform::Accessibility& accessibility,
                                                const platform::AXElement& element, const std::string& attribute);

// Every window that reads as minimized is restored (a failure is logged) and
// raised; the others, and those whose state cannot be read, are left alone.
void restoreMinimizedWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility);

// Makes the application frontmost and raises its windows that are not
// minimized, so that the first of them ends up in front.
void raiseApplicationWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility);

}  // namespace zentrabo
