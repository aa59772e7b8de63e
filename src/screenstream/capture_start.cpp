#include "screenstream/capture_start.hpp"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "model/diagnostic_log.hpp"
#include "screenstream/capture_answer.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/make_video_encoder.hpp"
#include "screenstream/remote_screen_audio_encoder.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

// How long a display is given after a mode switch before the content is
// selected again.
constexpr double clientNativeModeSettleSeconds = 0.35;

EncodedFrameHandler framesToSession(std::weak_ptr<RemoteScreenStreamSession> weakSession) {
    return [weakSession = std::move(weakSession)](RemoteScreenStreamFrame frame) {
        if (auto owner = weakSession.lock()) owner->sendFrame(frame);
    };
}

platform::CaptureStream::AudioOutput soundToSession(std::weak_ptr<RemoteScreenStreamSession> weakSession) {
    return [weakSession = std::move(weakSession)](platform::CapturedAudioSample sample) {
        if (auto owner = weakSession.lock()) owner->encodeAudioBuffer(std::move(sample));
    };
}

// A stream of the application's sound alone, beside the video stream: the
// video's size and pace, nothing scaled, audio on.
std::shared_ptr<platform::CaptureStream> makeAudioStream(RemoteScreenStreamSession& session,
                                                         const platform::ContentFilter& audioFilter,
                                                         platform::StreamConfiguration configuration) {
    std::weak_ptr<RemoteScreenStreamSession> weakSession = session.weak_from_this();
    configuration.scalesToFit = false;
    configuration.preservesAspectRatio = false;
    configuration.capturesAudio = true;
    // Filled once the stream exists; it stops by itself only once started.
    auto self = std::make_shared<std::weak_ptr<platform::CaptureStream>>();
    auto stream = session.desktop().screenCapture().makeCaptureStream(
        audioFilter, configuration, [weakSession, self](const platform::ScreenCaptureError& error) {
            auto owner = weakSession.lock();
            auto stopped = self->lock();
            if (owner && stopped) owner->audioCaptureStopped(*stopped, error.what());
        });
    *self = stream;
    stream->addAudioOutput(session.captureQueue().executor(), soundToSession(weakSession));
    return stream;
}

// One capture start: the encoders, the video stream with the session as its
// screen output on the capture queue (and as its audio output when the sound
// rides on it), the separate audio stream when the selection has an audio
// filter, then capture itself, video first. A failure tears the capture
// down and is thrown.
asio::awaitable<void> startCapture(RemoteScreenStreamSession& session, const SelectedContent& selected,
                                   platform::StreamConfiguration configuration, int framesPerSecond,
                                   bool capturesAudio) {
    std::weak_ptr<RemoteScreenStreamSession> weakSession = session.weak_from_this();
    std::shared_ptr<VideoEncoder> encoder = makeSessionVideoEncoder(
        session, static_cast<int>(configuration.width), static_cast<int>(configuration.height), framesPerSecond);
    std::shared_ptr<AudioEncoder> audioEncoder;
    if (capturesAudio) {
        audioEncoder =
            std::make_shared<RemoteScreenAudioEncoder>(configuration.channelCount, framesToSession(weakSession));
    }
    // Audio rides on the video stream unless the selection has an audio
    // stream of its own.
    const bool audioRidesOnVideo = capturesAudio && !selected.audioFilter;
    configuration.capturesAudio = audioRidesOnVideo;
    auto stream = session.desktop().screenCapture().makeCaptureStream(
        selected.filter, configuration, [weakSession](const platform::ScreenCaptureError& error) {
            if (auto owner = weakSession.lock()) owner->videoCaptureStopped(error.what());
        });
    stream->addScreenOutput(session.captureQueue().executor(), [weakSession](platform::CapturedScreenSample sample) {
        if (auto owner = weakSession.lock()) owner->encodeVideoFrame(std::move(sample));
    });
    if (audioRidesOnVideo) stream->addAudioOutput(session.captureQueue().executor(), soundToSession(weakSession));
    std::shared_ptr<platform::CaptureStream> audioStream;
    if (capturesAudio && selected.audioFilter)
        audioStream = makeAudioStream(session, *selected.audioFilter, configuration);

    session.setVideoEncoder(std::move(encoder));
    session.setAudioCapture(std::move(audioEncoder), audioStream);
    session.setCaptureStream(stream);
    for (const auto& starting : {stream, audioStream}) {
        if (!starting) continue;
        if (auto error = co_await captureAnswer([&starting](auto completion) { starting->startCapture(completion); })) {
            session.tearDownCapture();
            throw *error;
        }
    }
}

// The capture of a selection the session already stores: its size and pace
// from the request, the encoders and streams, and the video-only retry.
asio::awaitable<void> startSelectedCapture(RemoteScreenStreamSession& session, const SelectedContent& selected) {
    const RemoteScreenStreamRequest& request = session.request();
    const PixelSize source{selected.sourceWidth, selected.sourceHeight};
    const PixelSize output = captureOutputSize(request, source);
    const int framesPerSecond = captureFramesPerSecond(request);
    platform::StreamConfiguration configuration = captureConfiguration(request, source, output, framesPerSecond);

    const bool capturesAudio = request.capturesAudio.value_or(true);
    try {
        co_await startCapture(session, selected, configuration, framesPerSecond, capturesAudio);
        co_return;
    } catch (const std::exception& error) {
        // A stop that cancelled the start leaves nothing to retry.
        const auto* systemError = dynamic_cast<const std::system_error*>(&error);
        if (!capturesAudio || (systemError && systemError->code() == asio::error::operation_aborted)) throw;
        ZENTRABO_LOG(std::string("Screen stream audio capture failed; retrying video-only: ") + error.what());
    }
    session.tearDownCapture();
    configuration.capturesAudio = false;
    co_await startCapture(session, selected, configuration, framesPerSecond, false);
}

}  // namespace

std::unique_ptr<VideoEncoder> makeSessionVideoEncoder(RemoteScreenStreamSession& session, int width, int height,
                                                      int framesPerSecond) {
    return makeVideoEncoder(session.request(), width, height, framesPerSecond,
                            framesToSession(session.weak_from_this()), session.clock());
}

asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session) {
    auto& desktop = session.desktop();
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
    co_await startSelectedCapture(session, selected);
}

}  // namespace zentrabo
