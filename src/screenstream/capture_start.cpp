#include "screenstream/capture_start.hpp"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "model/diagnostic_log.hpp"
#include "screenstream/capture_completion.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/make_video_encoder.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

// How long a display is given after a mode switch before the content is
// selected again.
constexpr double clientNativeModeSettleSeconds = 0.35;

// One capture start: the encoder, the stream with the session as its
// screen output on the capture queue, then capture itself. A failure tears
// the capture down and is thrown.
asio::awaitable<void> startCapture(RemoteScreenStreamSession& session, const SelectedContent& selected,
                                   platform::StreamConfiguration configuration, int framesPerSecond,
                                   bool capturesAudio) {
    std::weak_ptr<RemoteScreenStreamSession> weakSession = session.weak_from_this();
    std::shared_ptr<VideoEncoder> encoder = makeVideoEncoder(
        session.request(), static_cast<int>(configuration.width), static_cast<int>(configuration.height),
        framesPerSecond,
        [weakSession](RemoteScreenStreamFrame frame) {
            if (auto owner = weakSession.lock()) owner->sendFrame(frame);
        },
        session.clock());
    // Audio rides on the video stream unless the selection has an audio
    // stream of its own. This server captures no sound yet, so a capture
    // with audio fails to start and the caller retries without it.
    configuration.capturesAudio = capturesAudio && !selected.audioFilter;
    auto stream = session.textInputController().desktop().screenCapture().makeCaptureStream(
        selected.filter, configuration, [weakSession](const platform::ScreenCaptureError& error) {
            if (auto owner = weakSession.lock()) owner->videoCaptureStopped(error.what());
        });
    stream->addScreenOutput(session.captureQueue().executor(), [weakSession](platform::CapturedScreenSample sample) {
        if (auto owner = weakSession.lock()) owner->encodeVideoFrame(std::move(sample));
    });
    session.setVideoEncoder(std::move(encoder));
    session.setCaptureStream(stream);
    if (auto error = co_await completionOf([&stream](auto completion) { stream->startCapture(completion); })) {
        session.tearDownCapture();
        throw *error;
    }
}

}  // namespace

asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session) {
    auto& desktop = session.textInputController().desktop();
    const RemoteScreenStreamRequest& request = session.request();

    std::optional<FrontmostWindowCandidate> candidate = frontmostApplicationWindowCandidate(desktop);
    const auto shareableContent = [&desktop] {
        // Refused only without the permission.
        auto content = desktop.screenCapture().shareableContent(false, true);
        if (!content) throw RemoteScreenStreamServerError::screenRecordingMissing();
        return *std::move(content);
    };
    const auto content = shareableContent();
    SelectedContent selected = co_await selectContent(request, content, candidate, desktop, session.clock());
    if (session.applyClientNativeDisplayModeIfNeeded(selected)) {
        // The display settles into its new mode before it is chosen from again.
        co_await session.clock().delay(clientNativeModeSettleSeconds);
        const auto settled = shareableContent();
        if (request.mode == RemoteScreenStreamMode::frontmostWindow) {
            candidate = frontmostApplicationWindowCandidate(desktop);
        }
        selected = co_await selectContent(request, settled, candidate, desktop, session.clock());
    }
    session.applySelection(selected);

    const PixelSize source{selected.sourceWidth, selected.sourceHeight};
    const PixelSize output = captureOutputSize(request, source);
    const int framesPerSecond = captureFramesPerSecond(request);
    platform::StreamConfiguration configuration = captureConfiguration(request, source, output, framesPerSecond);

    const bool capturesAudio = request.capturesAudio.value_or(true);
    try {
        co_await startCapture(session, selected, configuration, framesPerSecond, capturesAudio);
        co_return;
    } catch (const std::exception& error) {
        if (!capturesAudio) throw;
        ZENTRABO_LOG(std::string("Screen stream audio capture failed; retrying video-only: ") + error.what());
    }
    session.tearDownCapture();
    configuration.capturesAudio = false;
    co_await startCapture(session, selected, configuration, framesPerSecond, false);
}

}  // namespace zentrabo
