#include "screenstream/capture_start.hpp"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <asio/async_result.hpp>
#include <asio/associated_executor.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "model/diagnostic_log.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/make_video_encoder.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

using CaptureResult = std::optional<platform::ScreenCaptureError>;

// Waits for a capture stream operation's completion, which may come on any
// thread and even before the operation has returned; the coroutine resumes
// on its own executor.
asio::awaitable<CaptureResult> completionOf(const std::function<void(platform::CaptureStream::Completion)>& operation) {
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(CaptureResult)>(
        [&operation](auto handler) {
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            operation([shared](CaptureResult result) {
                const auto executor = asio::get_associated_executor(*shared);
                asio::post(executor, [shared, result = std::move(result)]() mutable { (*shared)(std::move(result)); });
            });
        },
        asio::use_awaitable);
}

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

    std::optional<FrontmostWindowCandidate> candidate;
    if (const auto frontmost = desktop.workspace().frontmostApplication()) {
        candidate = frontmostWindowCandidate(desktop.windowServer(), frontmost->processIdentifier());
    }
    // Refused only without the permission.
    const auto content = desktop.screenCapture().shareableContent(false, true);
    if (!content) throw RemoteScreenStreamServerError::screenRecordingMissing();
    const SelectedContent selected = co_await selectContent(request, *content, candidate, desktop, session.clock());
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
