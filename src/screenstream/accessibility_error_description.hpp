#pragma once
#include <string>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo {

// The text of an accessibility result code for log lines, such as
// "cannot complete"; "unknown accessibility error" for a code the platform
// does not define.
std::string accessibilityErrorDescription(platform::AXError error);

}  // namespace zentrabo
