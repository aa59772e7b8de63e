#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

using Error = RemoteScreenStreamServerError;

Error Error::applicationWindowUnavailable(std::string name) {
    return {Case::applicationWindowUnavailable, std::move(name) + " does not have an available window for streaming."};
}

Error Error::windowResizeUnavailable(std::string message) {
    return {Case::windowResizeUnavailable, std::move(message)};
}

Error Error::captureFailed(std::string detail) {
    return {Case::captureFailed, "Screen streaming could not start: " + std::move(detail)};
}

Error Error::encodingFailed(std::string detail) {
    return {Case::encodingFailed, "Screen streaming encoder failed: " + std::move(detail)};
}

Error Error::screenRecordingMissing() {
    return {Case::screenRecordingMissing,
            "Screen Recording permission is missing. Grant it to Zentrabo Server in System Settings, then restart "
            "the server."};
}

Error Error::displayUnavailable() { return {Case::displayUnavailable, "The requested monitor is not available."}; }

Error Error::frontmostWindowUnavailable() {
    return {Case::frontmostWindowUnavailable, "The app window is not available for streaming."};
}

}  // namespace zentrabo
