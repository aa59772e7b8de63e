#pragma once
// The monitor name an EDID block carries in its display descriptors.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zentrabo::platform {

// The name of the base block's monitor-name descriptor, its line feed and
// padding cut off; none when the bytes are no EDID or name no monitor.
std::optional<std::string> edidMonitorName(std::span<const std::uint8_t> edid);

}  // namespace zentrabo::platform
