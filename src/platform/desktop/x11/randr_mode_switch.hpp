#pragma once
// Switching an output's mode through RandR, with the screen resized to the
// CRTCs' new bounding box as a configuration tool would.
#include <xcb/randr.h>

#include <cstdint>

#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// Shows mode on the output's CRTC, keeping the CRTC's place, rotation and
// outputs. Returns a display error code: illegalArgument when the output has
// no CRTC or does not list the mode, failure when the server refuses.
std::int32_t switchOutputMode(X11Connection& connection, xcb_randr_output_t output, xcb_randr_mode_t mode);

}  // namespace zentrabo::platform
