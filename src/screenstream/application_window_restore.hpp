#pragma once
// Accessibility actions that bring an application's windows back before a
// stream picks one: minimized windows restored, the rest raised. Both are
// best effort; neither reports a result.
#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo {

// Every window that reads as minimized is restored (a failure is logged) and
// raised; the others, and those whose state cannot be read, are left alone.
void restoreMinimizedWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility);

// Makes the application frontmost and raises its windows that are not
// minimized, so that the first of them ends up in front.
void raiseApplicationWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility);

}  // namespace zentrabo
