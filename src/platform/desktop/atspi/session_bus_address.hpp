#pragma once
#include <optional>
#include <string>

namespace zentrabo::platform {

// The session bus as the environment names it now; none when there is no bus
// to reach (a bus is never launched for us).
std::optional<std::string> sessionBusAddress();

}  // namespace zentrabo::platform
