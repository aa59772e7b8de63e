// The stream after a window resize: fresh content for the window, then the
// pipeline's filter, the session's selection, and the pipeline's picture
// size follow the window's new size without restarting the stream.
// Coroutines on the control strand that hold the session only between their
// waits; each wait ends at 2 s, and the content fetches run on the work pool.
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include <asio/strand.hpp>

#include "model/diagnostic_log.hpp"
#include "platform/dispatch/awaited_answer.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "screenstream/shareable_content.hpp"
#include "screenstream/window_resize.hpp"

// GCC 12 takes the frames of the coroutines here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace zentrabo {

namespace {

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

namespace {

// Up to four fetches until the window shows about the expected size, else
// the last one that held it; holds the session only weakly.
asio::awaitable<std::optional<SelectedContent>> refreshedWindowContent(
    std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
    double scale) {
    platform::Desktop* desktop = nullptr;
    platform::Clock* clock = nullptr;
    {
        auto session = weakSession.lock();
        if (!session) co_return std::nullopt;
        desktop = &session->desktop();
        clock = &session->environment().clock;
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
        const auto content = currentShareableContent(desktop->screenCapture());
        if (auto found = windowContent(windowID, content, {}, *desktop)) {
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

// The device's own pixel size for the stream, when client-native sizing
// applies to the session or to this request and it gives pixels.
std::optional<PixelSize> clientNativeTargetSize(const RemoteScreenStreamRequest& stream,
                                                const RemoteScreenResizeWindowRequest& request) {
    const bool sessionIsClientNative = stream.renderSizingMode == RemoteScreenStreamRenderSizingMode::clientNative;
    // A session that did not choose a sizing mode, or chose the source's,
    // lets the resize request choose.
    const bool requestIsClientNative = request.renderSizingMode == RemoteScreenStreamRenderSizingMode::clientNative;
    if (!sessionIsClientNative && !requestIsClientNative) return std::nullopt;
    if (!request.pixelWidth || !request.pixelHeight) return std::nullopt;
    return zentrabo::clientNativeTargetSize(*request.pixelWidth, *request.pixelHeight);
}

// The pipeline's refusal of a change as the device's message: `what` names
// the change, `inTime` its timeout's message.
RemoteScreenStreamServerError changeFailure(const StreamPipeline::ChangeFailure& failure, const std::string& what,
                                            const char* inTime) {
    using Kind = StreamPipeline::ChangeFailure::Kind;
    switch (failure.kind) {
    case Kind::timedOut:
        return unavailable(inTime);
    case Kind::refused:
        return unavailable(what + ": " + failure.refusal);
    case Kind::notRunning:
        break;
    }
    return unavailable("The stream is no longer running.");
}

}  // namespace

std::shared_ptr<RemoteScreenStreamSession> lockedOrGone(const std::weak_ptr<RemoteScreenStreamSession>& weakSession) {
    auto session = weakSession.lock();
    if (!session) throw unavailable("The stream is no longer running.");
    return session;
}

asio::awaitable<WindowStreamResizeOutcome> reconfigureStreamForWindowResize(
    std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
    RemoteScreenResizeWindowRequest request) {
    std::shared_ptr<StreamPipeline> pipeline;
    platform::Clock* clock = nullptr;
    asio::any_io_executor workPool;
    double scale = 1;
    {
        const auto session = lockedOrGone(weakSession);
        const auto selectedScale = session->selection().pointPixelScale();
        pipeline = session->pipeline().shared_from_this();
        if (!pipeline->isRunning()) throw unavailable("The stream is no longer running.");
        // The clock outlives the stream server, and so every session.
        clock = &session->environment().clock;
        workPool = session->environment().workPool;
        scale = selectedScale ? *selectedScale : pointPixelScale(frame, session->desktop().displays());
    }

    PixelSize source = windowPixelSize(frame, scale);
    // Each wait is named before it is awaited: GCC 12 destroys a temporary of
    // a co_await expression twice. A strand, because the pauses' timers and
    // the coroutine must not run on two pool threads at once.
    auto fetch =
        platform::withinDeadline(*clock, StreamPipeline::changeWaitSeconds,
                                 platform::awaitElsewhere(asio::make_strand(workPool),
                                                          refreshedWindowContent(weakSession, windowID, frame, scale)));
    const auto refreshed = co_await std::move(fetch);
    if (!refreshed) throw unavailable("The streamed window filter could not be refreshed in time.");
    // An answer the stream drops unsent is one that never came in time.
    constexpr auto dropped = DroppedCaptureAnswer::waitsForTheDeadline;
    if (const auto& content = *refreshed) {
        auto filterSwap = pipeline->reconfigure(content->filter, dropped);
        if (const auto failure = co_await std::move(filterSwap)) {
            throw changeFailure(*failure, "The streamed window filter could not be updated",
                                "The streamed window filter could not be updated in time.");
        }
        lockedOrGone(weakSession)->selection().apply(*content);
        source = {content->sourceWidth, content->sourceHeight};
        scale = content->pointPixelScale;
    }

    std::int64_t maximum = 0;
    PixelSize output;
    {
        const auto session = lockedOrGone(weakSession);
        maximum = streamMaximumDimension(session->request(), source);
        output = clientNativeTargetSize(session->request(), request).value_or(fittedOutputSize(source, maximum));
    }
    auto resize = pipeline->reconfigure(StreamPipeline::PictureSize{source, output}, dropped);
    if (const auto failure = co_await std::move(resize)) {
        throw changeFailure(*failure, "The stream could not be resized", "The stream could not be resized in time.");
    }
    co_return WindowStreamResizeOutcome{maximum,      scale,         source.width,    source.height,
                                        output.width, output.height, output != source};
}

}  // namespace zentrabo
