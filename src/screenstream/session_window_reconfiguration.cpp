// The stream after a window resize: the capture's filter, the session's
// selection, the output size, a new encoder and the capture configuration
// follow the window's new size without restarting the stream. Coroutines on
// the control strand that hold the session only between their waits; each
// wait is raced with the clock's watchdog and ends at 2 s, and the content
// fetches run on the work pool.
#include <cstdlib>
#include <functional>
#include <exception>
#include <string>
#include <utility>

#include <asio/strand.hpp>

#include "model/diagnostic_log.hpp"
#include "platform/dispatch/awaited_answer.hpp"
#include "screenstream/capture_answer.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

// GCC 12 takes the frames of the coroutines here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

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

RemoteScreenStreamServerError unavailable(std::string message) {
    return RemoteScreenStreamServerError::windowResizeUnavailable(std::move(message));
}

bool isAboutTheSize(const SelectedContent& content, const PixelSize& expected) {
    return std::abs(content.sourceWidth - expected.width) <= refreshSizeTolerance &&
           std::abs(content.sourceHeight - expected.height) <= refreshSizeTolerance;
}

}  // namespace

std::shared_ptr<RemoteScreenStreamSession> RemoteScreenStreamSession::lockedOrGone(
    const std::weak_ptr<RemoteScreenStreamSession>& weakSession) {
    auto session = weakSession.lock();
    if (!session) throw unavailable("The stream is no longer running.");
    return session;
}

// The new encoder while the configuration update it was made for is
// pending. Whichever of the waiter and the update's answer comes first under
// the lock decides: an answer while the waiter waits is the waiter's, which
// owns the encoder; once the waiter gave up, the hand-over installs the
// encoder when the update succeeds and lets it go when the update fails or
// its answer is dropped unsent (a stopped capture stream drops them).
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

    // From the update's answer: true while the waiter still waits, which
    // then takes the answer; else the hand-over settles here.
    bool answer(const CaptureResult& result) {
        {
            std::lock_guard guard(mutex);
            if (!waiterGaveUp) {
                answered = result;
                return true;
            }
        }
        settle(!result);
        return false;
    }

    // From the waiter at its deadline: the answer that came meanwhile, or
    // none, and the encoder is the hand-over's from now on.
    std::optional<CaptureResult> giveUp() {
        std::lock_guard guard(mutex);
        if (answered) return answered;
        waiterGaveUp = true;
        return std::nullopt;
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
    // Empty once the waiter or the settling answer took it.
    std::shared_ptr<VideoEncoder> encoder;
    std::mutex mutex;
    bool waiterGaveUp = false;
    std::optional<CaptureResult> answered;
};

asio::awaitable<RemoteScreenStreamSession::WindowStreamResizeOutcome>
RemoteScreenStreamSession::reconfigureStreamForWindowResize(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                            platform::WindowID windowID, platform::Rect frame,
                                                            RemoteScreenResizeWindowRequest request) {
    std::shared_ptr<platform::CaptureStream> stream;
    platform::Clock* clock = nullptr;
    asio::any_io_executor workPool;
    double scale = 1;
    {
        const auto session = lockedOrGone(weakSession);
        std::optional<double> selectedScale;
        {
            std::lock_guard guard(session->lock_);
            stream = session->captureStream_;
            selectedScale = session->selectedPointPixelScale_;
        }
        if (!stream) throw unavailable("The stream is no longer running.");
        // The clock outlives the stream server, and so every session.
        clock = &session->environment_.clock;
        workPool = session->environment_.workPool;
        scale = selectedScale ? *selectedScale : pointPixelScale(frame, session->desktop().displays());
    }

    PixelSize source = windowPixelSize(frame, scale);
    // Each wait is named before it is awaited: GCC 12 destroys a temporary of
    // a co_await expression twice. A strand, because the pauses' timers and
    // the coroutine must not run on two pool threads at once.
    auto fetch =
        platform::withinDeadline(*clock, reconfigurationWaitSeconds,
                                 platform::awaitElsewhere(asio::make_strand(workPool),
                                                          refreshedWindowContent(weakSession, windowID, frame, scale)));
    const auto refreshed = co_await std::move(fetch);
    if (!refreshed) throw unavailable("The streamed window filter could not be refreshed in time.");
    if (const auto& content = *refreshed) {
        const std::function<void(platform::CaptureStream::Completion)> swapFilter =
            [&stream, &content](platform::CaptureStream::Completion completion) {
                stream->updateContentFilter(content->filter, std::move(completion));
            };
        // An answer the stream drops unsent is one that never came in time.
        auto filterSwap = platform::withinDeadline(
            *clock, reconfigurationWaitSeconds, captureAnswer(swapFilter, DroppedCaptureAnswer::waitsForTheDeadline));
        const auto filtered = co_await std::move(filterSwap);
        if (!filtered) throw unavailable("The streamed window filter could not be updated in time.");
        if (const auto& error = *filtered) {
            throw unavailable(std::string("The streamed window filter could not be updated: ") + error->what());
        }
        lockedOrGone(weakSession)->applySelection(*content);
        source = {content->sourceWidth, content->sourceHeight};
        scale = content->pointPixelScale;
    }

    std::int64_t maximum = 0;
    PixelSize output;
    platform::StreamConfiguration configuration;
    std::shared_ptr<ResizedEncoderHandover> handover;
    {
        const auto session = lockedOrGone(weakSession);
        maximum = streamMaximumDimension(session->request_, source);
        output = session->clientNativeTargetSize(request).value_or(fittedOutputSize(source, maximum));
        const int framesPerSecond = captureFramesPerSecond(session->request_);
        handover = std::make_shared<ResizedEncoderHandover>(
            weakSession, makeSessionVideoEncoder(*session, static_cast<int>(output.width),
                                                 static_cast<int>(output.height), framesPerSecond));
        configuration = captureConfiguration(session->request_, source, output, framesPerSecond);
        // stop() clears both from another thread.
        std::lock_guard guard(session->lock_);
        // The sound rides on the video stream unless it has a stream of its own.
        configuration.capturesAudio = session->audioEncoder_ && !session->audioCaptureStream_;
    }
    const std::function<void(platform::CaptureStream::Completion)> updateConfiguration =
        [&stream, &configuration, &handover](platform::CaptureStream::Completion completion) {
            stream->updateConfiguration(configuration, [handover, completion](CaptureResult answer) {
                if (handover->answer(answer)) completion(answer);
            });
        };
    auto configurationUpdate =
        platform::withinDeadline(*clock, reconfigurationWaitSeconds,
                                 captureAnswer(updateConfiguration, DroppedCaptureAnswer::waitsForTheDeadline));
    auto result = co_await std::move(configurationUpdate);
    if (!result) result = handover->giveUp();
    if (!result) throw unavailable("The stream could not be resized in time.");
    // The waiter decides: the encoder is its own now.
    std::shared_ptr<VideoEncoder> encoder = std::move(handover->encoder);
    const auto session = weakSession.lock();
    if (!session) {
        encoder->shutdown();
        throw unavailable("The stream is no longer running.");
    }
    if (*result) {
        session->shutDown(CaptureParts{std::move(encoder), {}, {}, {}});
        throw unavailable(std::string("The stream could not be resized: ") + (*result)->what());
    }
    session->installResizedEncoder(std::move(encoder));
    co_return WindowStreamResizeOutcome{maximum,      scale,         source.width,    source.height,
                                        output.width, output.height, output != source};
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
