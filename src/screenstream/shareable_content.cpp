#include "screenstream/shareable_content.hpp"

#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

platform::ShareableContent currentShareableContent(platform::ScreenCapture& capture) {
    if (auto content = capture.shareableContent(false, true)) return *std::move(content);
    if (!capture.preflightAccess()) throw RemoteScreenStreamServerError::screenRecordingMissing();
    throw platform::captureContentUnavailable();
}

}  // namespace zentrabo
