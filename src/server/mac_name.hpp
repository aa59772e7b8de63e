#pragma once
#include <string>

#include "platform/host/host_name.hpp"

namespace zentrabo {

// The name replies and the advertised service give this computer: the
// system's computer name, "Mac" when the system names it nothing.
inline std::string macName() { return platform::computerName().value_or("Mac"); }

}  // namespace zentrabo
