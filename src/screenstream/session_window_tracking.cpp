#include <exception>
#include <utility>

#include <asio/co_spawn.hpp>

#include "model/diagnostic_log.hpp"
#include "model/task_failure.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/frontmost_window_tracking.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "screenstream/shareable_content.hpp"

namespace zentrabo {

namespace {

// Between the end of one step and the start of the next.
constexpr double trackingIntervalSeconds = 0.5;
// A window that just came to the front may reach the shareable content a
// little later than the window list.
constexpr int windowLookupAttempts = 4;
constexpr double windowLookupPauseSeconds = 0.12;

bool isFrontmostWindow(platform::Desktop& desktop, platform::WindowID windowID) {
    const auto candidate = frontmostApplicationWindowCandidate(desktop);
    return candidate && candidate->windowID == windowID;
}

// The window's content, with the window list's bounds for the pointer.
// Throws frontmostWindowUnavailable when the window does not show up.
asio::awaitable<SelectedContent> frontmostWindowContent(platform::Desktop& desktop, platform::Clock& clock,
                                                        platform::WindowID windowID, platform::Rect bounds) {
    for (int attempt = 0;; ++attempt) {
        const auto content = currentShareableContent(desktop.screenCapture());
        if (auto selected = windowContent(windowID, content, bounds, desktop)) co_return *std::move(selected);
        if (attempt + 1 == windowLookupAttempts) throw RemoteScreenStreamServerError::frontmostWindowUnavailable();
        co_await clock.delay(windowLookupPauseSeconds);
    }
}

// The filter swap, given up after 2 s without an answer (logged), and the
// selection committed with a key frame.
asio::awaitable<void> switchToWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession, StreamPipeline& pipeline,
                                     SelectedContent content, platform::WindowID expectedWindowID) {
    // An answer the stream drops unsent is one that never came in time; a
    // capture that never answers must not stop the tracking: the step gives
    // up, and the next one tries again. Named: GCC 12 destroys a temporary
    // of a co_await expression twice.
    auto change = pipeline.reconfigure(content.filter, DroppedCaptureAnswer::waitsForTheDeadline);
    const auto failure = co_await std::move(change);
    using Kind = StreamPipeline::ChangeFailure::Kind;
    if (failure && failure->kind == Kind::timedOut) {
        ZENTRABO_LOG("Frontmost window stream update failed: the capture did not answer within 2 s.");
    } else if (failure && failure->kind == Kind::refused) {
        ZENTRABO_LOG("Frontmost window stream update failed: " + failure->refusal);
    }
    if (failure) co_return;
    auto session = weakSession.lock();
    if (!session) co_return;
    // The stream shows the new window already; if another one came to the
    // front meanwhile, the next step sees a selection that differs and
    // switches again.
    if (!isFrontmostWindow(session->desktop(), expectedWindowID)) co_return;
    session->selection().apply(content);
    pipeline.requestKeyFrame();
}

// One tracking step; it holds the session only between its waits.
asio::awaitable<void> followFrontmostWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession) {
    std::shared_ptr<StreamPipeline> pipeline;
    std::optional<FrontmostWindowCandidate> candidate;
    platform::Desktop* desktop = nullptr;
    platform::Clock* clock = nullptr;
    {
        auto session = weakSession.lock();
        if (!session) co_return;
        desktop = &session->desktop();
        clock = &session->environment().clock;
        candidate = frontmostApplicationWindowCandidate(*desktop);
        if (!candidate) co_return;
        if (session->hasStopped()) co_return;
        auto& selection = session->selection();
        if (selection.windowID() == candidate->windowID) {
            if (selection.pointerBounds() != candidate->bounds) {
                selection.moveBounds(candidate->windowID, candidate->bounds);
            }
            co_return;
        }
        pipeline = session->pipeline().shared_from_this();
    }
    // The desktop and the clock outlive the stream server, whose task
    // threads run this; the session is looked up again after every wait.
    SelectedContent content;
    try {
        content = co_await frontmostWindowContent(*desktop, *clock, candidate->windowID, candidate->bounds);
    } catch (const RemoteScreenStreamServerError& error) {
        if (error.errorCase() != RemoteScreenStreamServerError::Case::frontmostWindowUnavailable) {
            ZENTRABO_LOG("Frontmost window tracking skipped: " + error.message());
        }
        co_return;
    } catch (const platform::ScreenCaptureError& error) {
        // The display is away for now; the next step looks again.
        ZENTRABO_LOG("Frontmost window tracking skipped: " + std::string(error.what()));
        co_return;
    }
    // The front window changed again during the lookup: the next step
    // starts over.
    if (!isFrontmostWindow(*desktop, candidate->windowID)) co_return;
    co_await switchToWindow(weakSession, *pipeline, std::move(content), candidate->windowID);
}

void scheduleStep(RemoteScreenStreamSession& session, double delaySeconds) {
    session.scheduleTask(delaySeconds, [weakSession = session.weak_from_this()](const asio::any_io_executor& tasks) {
        // A session that is gone ends the tracking here.
        if (weakSession.expired()) return;
        asio::co_spawn(tasks, followFrontmostWindow(weakSession),
                       [weakSession, log = LogTaskFailure("Frontmost window tracking skipped: ")](
                           const std::exception_ptr& failure) {
                           log(failure);
                           if (auto owner = weakSession.lock()) scheduleStep(*owner, trackingIntervalSeconds);
                       });
    });
}

}  // namespace

void startFrontmostWindowTracking(RemoteScreenStreamSession& session) {
    const auto& request = session.request();
    if (request.mode != RemoteScreenStreamMode::frontmostWindow ||
        request.windowTrackingMode != RemoteScreenStreamWindowTrackingMode::followActiveWindow) {
        return;
    }
    scheduleStep(session, 0);
}

}  // namespace zentrabo
