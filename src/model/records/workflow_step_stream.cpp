// The stream launch of a "screenStream" step and the server version a step
// needs.
#include <algorithm>

#include "model/halvardine_protocol.hpp"
#include "model/records/workflow_step.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {
namespace {

// Fixed settings of a stream that a workflow opens.
constexpr std::int64_t kWorkflowStreamMaximumPixelDimension = 0;
constexpr std::int64_t kWorkflowStreamFramesPerSecond = 24;
constexpr std::int64_t kWorkflowStreamBitrate = 12'000'000;
constexpr std::int64_t kWorkflowStreamAudioChannelCount = 2;

}  // namespace

std::optional<RemoteScreenStreamLaunch> MenuWorkflowStep::screenStreamLaunch() const {
    using Mode = RemoteScreenStreamMode;
    if (kind != "screenStream") return std::nullopt;
    const Mode mode = screenStreamMode.value_or(Mode::display);
    const std::optional<std::string> bundle = platform::trimmedNonBlank(bundleIdentifier);
    if (mode == Mode::applicationWindow && !bundle) return std::nullopt;
    const std::optional<std::string> windowTitle = platform::trimmedNonBlank(screenStreamApplicationWindowTitle);
    const bool selectsByTitle =
        mode == Mode::applicationWindow &&
        screenStreamApplicationWindowSelectionMode == RemoteScreenStreamApplicationWindowSelectionMode::title &&
        windowTitle;

    RemoteScreenStreamRequest request;
    request.mode = mode;
    if (mode == Mode::display) {
        request.displayID = screenshotDisplayID;
        request.displayName = screenshotDisplayName;
    }
    request.maximumPixelDimension = kWorkflowStreamMaximumPixelDimension;
    request.framesPerSecond = kWorkflowStreamFramesPerSecond;
    request.bitrate = kWorkflowStreamBitrate;
    request.preferredVideoCodec = RemoteScreenStreamVideoCodec::hevc;
    request.capturesAudio = true;
    request.preferredAudioCodec = RemoteScreenStreamAudioCodec::pcm16LE;
    request.audioChannelCount = kWorkflowStreamAudioChannelCount;
    request.showsCursor = mode == Mode::display;
    if (mode == Mode::frontmostWindow) {
        request.windowTrackingMode =
            screenStreamWindowTrackingMode.value_or(RemoteScreenStreamWindowTrackingMode::locked);
    }
    if (mode == Mode::applicationWindow) request.applicationBundleIdentifier = bundle;
    if (mode != Mode::display) request.applicationName = applicationName;
    if (selectsByTitle) {
        request.applicationWindowTitle = windowTitle;
        request.applicationWindowTitleMatchMode =
            screenStreamApplicationWindowTitleMatchMode.value_or(MenuTitleMatchMode::exact);
    }

    RemoteScreenStreamLaunch launch;
    launch.id = platform::Uuid::random();
    launch.request = std::move(request);
    launch.presentationMode = screenStreamPresentationMode == RemoteScreenStreamPresentationMode::pictureInPicture
                                  ? RemoteScreenStreamPresentationMode::pictureInPicture
                                  : RemoteScreenStreamPresentationMode::fullScreen;
    launch.startInteractionMode = screenStreamStartInteractionMode;
    if (mode != Mode::display && screenStreamAutomaticallyFitsWindow.value_or(false)) {
        launch.automaticallyFitsWindow = true;
    }
    return launch;
}

int MenuWorkflowStep::requiredServerProtocolVersion(bool capturesAudio) const {
    using P = HalvardineProtocol;
    if (kind == "windowScreenshot" && platform::trimmedNonBlank(bundleIdentifier))
        return P::applicationWindowScreenshotVersion;
    if (kind != "screenStream") return P::minimumSupportedServerVersion;

    int version = P::minimumSupportedServerVersion;
    if (auto launch = screenStreamLaunch()) {
        if (!capturesAudio) launch->request.capturesAudio = false;
        version = launch->requiredServerProtocolVersion();
    }
    if (screenStreamOpensInNewWindow.value_or(false) ||
        screenStreamApplicationWindowSelectionMode == RemoteScreenStreamApplicationWindowSelectionMode::title) {
        version = std::max(version, P::streamWindowSelectionVersion);
    }
    if (screenStreamAutomaticallyFitsWindow.value_or(false) &&
        (screenStreamMode == RemoteScreenStreamMode::frontmostWindow ||
         screenStreamMode == RemoteScreenStreamMode::applicationWindow)) {
        version = std::max(version, P::streamWindowFittingVersion);
    }
    return version;
}

}  // namespace zentrabo
