// The stream after a window resize: the capture's filter, the session's
// selection, the output size, a new encoder and the capture configuration
// follow the window's new size without restarting the stream. The control
// queue blocks in three waits of 2 s at most; their deadlines fire on the
// timer thread and the content fetches run on the work pool, so neither
// needs the blocked queue.
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>

#include "model/diagnostic_log.hpp"
#include "screenstream/bounded_result.hpp"
#include "screenstream/capture_completion.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

constexpr double reconfigurationWaitSeconds = 2;
// The shareable content may report a resized window at its old size for a
// few fetches.
constexpr int refreshAttempts = 4;
constexpr double refreshPauseSeconds = 0.06;
// How far, in pixels per side, a fetched window may be from the size the
// resize gave it and still count as resized.
constexpr std::int64_t refreshSizeTolerance = 4;

using CaptureAnswer = BoundedResult<CaptureResult>;

RemoteScreenStreamServerError unavailable(std::string message) {
    return RemoteScreenStreamServerError::windowResizeUnavailable(std::move(message));
}

bool isAboutTheSize(const SelectedContent& content, const PixelSize& expected) {
    return std::abs(content.sourceWidth - expected.width) <= refreshSizeTolerance &&
           std::abs(content.sourceHeight - expected.height) <= refreshSizeTolerance;
}

}  // namespace

// The new encoder while the configuration update it was made for is
// pending. When the waiter takes the update's answer, the encoder is the
// waiter's; when the waiter gave up first, it is this hand-over's, which
// installs it once the update succeeds and lets it go when the update fails
// or its answer is dropped unsent (a stopped capture stream drops them).
// Without it, a late update would deliver the new size to the old encoder,
// which skips every frame of another size: the picture would freeze.
struct RemoteScreenStreamSession::ResizedEncoderHandover {
    ResizedEncoderHandover(std::weak_ptr<RemoteScreenStreamSession> session, std::shared_ptr<VideoEncoder> encoder)
        : session(std::move(session)), encoder(std::move(encoder)) {}
    ResizedEncoderHandover(const ResizedEncoderHandover&) = delete;
    ResizedEncoderHandover& operator=(const ResizedEncoderHandover&) = delete;
    ~ResizedEncoderHandover() {
        if (encoder) settle(false);
    }

    // Called at most once, with the encoder still held.
    void settle(bool install) {
        auto taken = std::move(encoder);
        auto owner = session.lock();
        if (!owner) {
            // Never installed, so no other thread ever used it.
            taken->shutdown();
        } else if (install) {
            owner->installResizedEncoder(std::move(taken));
        } else {
            owner->shutDown(CaptureParts{std::move(taken), {}, {}, {}});
        }
    }

    std::weak_ptr<RemoteScreenStreamSession> session;
    // Empty once the waiter owns the encoder.
    std::shared_ptr<VideoEncoder> encoder;
};

RemoteScreenStreamSession::WindowStreamResizeOutcome RemoteScreenStreamSession::reconfigureStreamForWindowResize(
    platform::WindowID windowID, const platform::Rect& frame, const RemoteScreenResizeWindowRequest& request) {
    std::shared_ptr<platform::CaptureStream> stream;
    std::optional<double> selectedScale;
    {
        std::lock_guard guard(lock_);
        stream = captureStream_;
        selectedScale = selectedPointPixelScale_;
    }
    if (!stream) throw unavailable("The stream is no longer running.");
    double scale = selectedScale ? *selectedScale : pointPixelScale(frame, desktop().displays());

    PixelSize source = windowPixelSize(frame, scale);
    if (const auto content = refreshWindowContent(windowID, frame, scale)) {
        replaceContentFilter(*stream, content->filter);
        applySelection(*content);
        source = {content->sourceWidth, content->sourceHeight};
        scale = content->pointPixelScale;
    }

    const std::int64_t maximum = streamMaximumDimension(request_, source);
    const PixelSize output = clientNativeTargetSize(request).value_or(fittedOutputSize(source, maximum));
    const int framesPerSecond = captureFramesPerSecond(request_);
    std::shared_ptr<VideoEncoder> encoder = makeSessionVideoEncoder(*this, static_cast<int>(output.width),
                                                                    static_cast<int>(output.height), framesPerSecond);

    platform::StreamConfiguration configuration = captureConfiguration(request_, source, output, framesPerSecond);
    {
        // stop() clears both from another thread.
        std::lock_guard guard(lock_);
        // The sound rides on the video stream unless it has a stream of its own.
        configuration.capturesAudio = audioEncoder_ && !audioCaptureStream_;
    }
    updateConfigurationWithEncoder(*stream, configuration, std::move(encoder));
    return {maximum, scale, source.width, source.height, output.width, output.height, output != source};
}

std::optional<SelectedContent> RemoteScreenStreamSession::refreshWindowContent(platform::WindowID windowID,
                                                                               const platform::Rect& frame,
                                                                               double scale) {
    auto answer = BoundedResult<std::optional<SelectedContent>>::arm(environment_.clock, environment_.timerQueue,
                                                                     reconfigurationWaitSeconds);
    // An answer after the deadline is dropped. A strand, because the pauses'
    // timers and the coroutine must not run on two pool threads at once.
    asio::co_spawn(asio::make_strand(environment_.workPool),
                   refreshedWindowContent(weak_from_this(), windowID, frame, scale),
                   [answer](std::exception_ptr failure, std::optional<SelectedContent> content) {
                       if (failure) {
                           answer->fail(failure);
                       } else {
                           answer->complete(std::move(content));
                       }
                   });
    auto content = answer->wait();
    if (!content) throw unavailable("The streamed window filter could not be refreshed in time.");
    return *std::move(content);
}

asio::awaitable<std::optional<SelectedContent>> RemoteScreenStreamSession::refreshedWindowContent(
    std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
    double scale) {
    platform::Desktop* desktop = nullptr;
    platform::Clock* clock = nullptr;
    {
        auto session = weakSession.lock();
        if (!session) co_return std::nullopt;
        desktop = &session->desktop();
        clock = &session->environment_.clock;
    }
    // The desktop and the clock outlive the stream server, whose work pool
    // runs this; the session is looked up again after every pause.
    const PixelSize expected = windowPixelSize(frame, scale);
    std::optional<SelectedContent> latest;
    for (int attempt = 0; attempt < refreshAttempts; ++attempt) {
        if (attempt > 0) {
            co_await clock->delay(refreshPauseSeconds);
            if (weakSession.expired()) co_return std::nullopt;
        }
        const auto content = desktop->screenCapture().shareableContent(false, true);
        if (!content) throw RemoteScreenStreamServerError::screenRecordingMissing();
        if (auto found = windowContent(windowID, *content, {}, *desktop)) {
            latest = std::move(found);
            if (isAboutTheSize(*latest, expected)) co_return latest;
        }
    }
    if (latest) {
        ZENTRABO_LOG("Screen stream window filter refresh used latest available frame " +
                     std::to_string(latest->sourceWidth) + "x" + std::to_string(latest->sourceHeight) +
                     " px after resize; expected about " + std::to_string(expected.width) + "x" +
                     std::to_string(expected.height) + " px.");
    }
    co_return latest;
}

void RemoteScreenStreamSession::replaceContentFilter(platform::CaptureStream& stream,
                                                     const platform::ContentFilter& filter) {
    auto answer = CaptureAnswer::arm(environment_.clock, environment_.timerQueue, reconfigurationWaitSeconds);
    stream.updateContentFilter(filter, [answer](CaptureResult result) { answer->complete(std::move(result)); });
    const auto result = answer->wait();
    if (!result) throw unavailable("The streamed window filter could not be updated in time.");
    if (*result)
        throw unavailable(std::string("The streamed window filter could not be updated: ") + (*result)->what());
}

void RemoteScreenStreamSession::updateConfigurationWithEncoder(platform::CaptureStream& stream,
                                                               const platform::StreamConfiguration& configuration,
                                                               std::shared_ptr<VideoEncoder> encoder) {
    auto answer = CaptureAnswer::arm(environment_.clock, environment_.timerQueue, reconfigurationWaitSeconds);
    auto handover = std::make_shared<ResizedEncoderHandover>(weak_from_this(), encoder);
    stream.updateConfiguration(configuration, [answer, handover](CaptureResult result) {
        const bool succeeded = !result;
        // Whichever of the waiter and this answer decides under the box's
        // lock owns the encoder.
        if (answer->complete(std::move(result))) {
            handover->encoder.reset();
        } else {
            handover->settle(succeeded);
        }
    });
    const auto result = answer->wait();
    if (!result) throw unavailable("The stream could not be resized in time.");
    if (*result) {
        shutDown(CaptureParts{std::move(encoder), {}, {}, {}});
        throw unavailable(std::string("The stream could not be resized: ") + (*result)->what());
    }
    installResizedEncoder(std::move(encoder));
}

void RemoteScreenStreamSession::installResizedEncoder(std::shared_ptr<VideoEncoder> encoder) {
    encoderQueue_.post([weakSelf = weak_from_this(), encoder = std::move(encoder)] {
        bool installed = false;
        std::shared_ptr<VideoEncoder> retired;
        if (auto self = weakSelf.lock()) {
            std::lock_guard guard(self->lock_);
            if (!self->didStop_) {
                retired = std::exchange(self->encoder_, encoder);
                installed = true;
            }
        }
        if (!installed) {
            encoder->shutdown();
            return;
        }
        if (retired) retired->shutdown();
        encoder->requestKeyFrame();
    });
}

}  // namespace zentrabo
