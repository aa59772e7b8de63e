#pragma once
// What a capture stream refuses in a configuration, whatever desktop it
// captures.
#include <cstdint>
#include <optional>

#include "platform/desktop/capture_stream.hpp"

namespace zentrabo::platform {

// The failure of a frame size beyond 1 .. maximumFrameSide, a queue depth,
// frame interval or (when sound is captured) audio format out of range; none
// when the configuration can be captured.
std::optional<ScreenCaptureError> streamConfigurationProblem(const StreamConfiguration& configuration,
                                                             std::int64_t maximumFrameSide);

}  // namespace zentrabo::platform
