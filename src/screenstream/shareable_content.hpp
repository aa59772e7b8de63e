#pragma once
// The windows and displays a stream chooses from, with the failure a stream
// reports when they cannot be listed.
#include "platform/desktop/screen_capture.hpp"

namespace zentrabo {

// Throws screenRecordingMissing without the permission. A desktop that has
// it and still lists nothing (an X display that is restarting) throws the
// capture's own "not available" error: advice to grant a permission that is
// granted would send the user the wrong way.
platform::ShareableContent currentShareableContent(platform::ScreenCapture& capture);

}  // namespace zentrabo
