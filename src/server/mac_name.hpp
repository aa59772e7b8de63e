#pragma once
#include <string>

#include "platform/host/host_name.hpp"

namespace zentrabo {

// The name replies and the advertised service give this computer: the
// system's computer name, "Mac" when the system names it nothing.
inline std::string macName() { return platform::computerName().value_or("Mac"); }

// The same name as every reply carries it, looked up at most once a second.
inline std::string recentMacName() { return platform::recentComputerName().value_or("Mac"); }

}  // namespace zentrabo
