#pragma once
#include <string_view>

namespace zentrabo::platform {

// Names the calling thread for debuggers and `top -H`; the kernel keeps the
// first 15 bytes.
void setCurrentThreadName(std::string_view name);

}  // namespace zentrabo::platform
