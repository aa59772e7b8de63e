#pragma once
// One live screen stream's control plane: it owns the request's connection
// and the stream's pipeline (capture, encode, send), reads the device's
// input and applies it on a control strand of the stream server's shared
// pool, follows the front window and resizes the streamed one; it starts
// once and stops exactly once, whatever ends it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "model/records/stream_input_records.hpp"
#include "model/records/stream_records.hpp"
#include "platform/random/uuid.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/strand_queue.hpp"
#include "screenstream/client_native_target_size.hpp"
#include "screenstream/codec/remote_screen_stream_frame.hpp"
#include "screenstream/codec/remote_screen_stream_receive_buffer.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/pipeline/stream_pipeline.hpp"
#include "screenstream/remote_screen_pointer_controller.hpp"
#include "screenstream/stream_connection.hpp"
#include "screenstream/stream_media_start.hpp"

namespace zentrabo {

class RemoteScreenDisplayModeController;

class RemoteScreenStreamSession : public std::enable_shared_from_this<RemoteScreenStreamSession> {
public:
    // Each receive asks for at most this much.
    static constexpr std::size_t receiveChunkLength = 4096;
    // Raw input payloads (pasted text, keys, resizes) waiting for the control
    // queue; at or above it the connection is not read until they drain, so
    // a client that floods input meets TCP back-pressure instead of growing
    // memory.
    static constexpr std::size_t maximumInputAwaitingControl = 8 * 1024 * 1024;
    // What each queued input job counts beside its payload.
    static constexpr std::size_t queuedJobOverhead = 256;
    static constexpr const char* displayStreamResizeMessage = "Only app window streams can be resized.";

    using StopCallback = std::function<void(const platform::Uuid& id)>;
    // One job of the control strand: work done at once on the session, or
    // a coroutine that holds the session only between its waits.
    struct ControlJob {
        std::function<void(RemoteScreenStreamSession&)> now;
        std::function<asio::awaitable<void>(std::weak_ptr<RemoteScreenStreamSession>)> awaited;
    };

    struct Environment {
        platform::Clock& clock;
        // The session's own strand of the stream server's task threads: its
        // start and its window-tracking steps run there, and an application
        // whose accessibility calls block holds up this session alone. The
        // session lets go of it at the stop, so a session that outlives the
        // stream server never holds a strand of its threads.
        asio::any_io_executor tasks;
        // The stream server's shared pool, where the session's control strand
        // and its pipeline's capture strand run; both keep its context.
        std::shared_ptr<asio::io_context> pool;
        // The stream server's work pool, for work the control strand awaits
        // (the content fetches after a window resize).
        asio::any_io_executor workPool;
        // The stream server's controller, for pasted text, keys and the
        // streamed application's accessibility elements.
        DesktopController& desktopController;
        StreamMediaStart mediaStart;
    };

    // The session and its pipeline, which reports to it.
    static std::shared_ptr<RemoteScreenStreamSession> make(platform::Uuid id, RemoteScreenStreamRequest request,
                                                           std::shared_ptr<StreamConnection> connection,
                                                           Environment environment);
    RemoteScreenStreamSession(platform::Uuid id, RemoteScreenStreamRequest request,
                              std::shared_ptr<StreamConnection> connection, Environment environment);
    // Lets go of whatever a pointer controller still holds pressed.
    ~RemoteScreenStreamSession();
    RemoteScreenStreamSession(const RemoteScreenStreamSession&) = delete;
    RemoteScreenStreamSession& operator=(const RemoteScreenStreamSession&) = delete;

    const platform::Uuid& id() const { return id_; }
    const RemoteScreenStreamRequest& request() const { return request_; }
    StreamConnection& connection() { return *connection_; }
    platform::Clock& clock() { return environment_.clock; }
    StreamPipeline& pipeline() { return *pipeline_; }
    platform::StrandQueue& controlQueue() { return controlQueue_; }
    DesktopController& desktopController() { return environment_.desktopController; }
    platform::Desktop& desktop() { return environment_.desktopController.desktop(); }

    // Set by the stream server before the start: removes the session.
    void setOnStop(StopCallback onStop) { onStop_ = std::move(onStop); }
    // The start task is spawned bound to this slot; stop() cancels it.
    asio::cancellation_slot startCancellationSlot() { return startCancellation_->slot(); }

    // The start sequence, on the session's tasks strand: the permission, the media
    // start, then the receive loop. Throws what ends the stream.
    asio::awaitable<void> run();
    // Once, from any thread, never blocking: cancels the start, stops the
    // pipeline and the tracking, puts a switched display mode back and
    // cancels the connection.
    void stop();
    // After stop(): returns once the pointer controllers it let go have
    // released what they held, on the control queue behind any input job
    // still running there, so that nothing of the session touches the
    // desktop afterwards. Waits only as long as that job takes.
    void awaitPointerRelease();
    // Stores what the stream shows: its window, where pointer input lands
    // and its scale, with a new pointer controller for those bounds. The
    // pointer keeps its place when the window stays the same; the old
    // controller lets go of what it holds pressed on the control queue.
    void applySelection(const SelectedContent& selected);
    std::optional<platform::WindowID> selectedWindowID();
    std::optional<platform::Rect> selectedPointerBounds();
    std::shared_ptr<RemoteScreenPointerController> pointerController();

    // The streamed window (streamed_window.cpp), on the control queue.
    // The running application that owns the streamed window: for a
    // frontmost-window stream the window's owner, else the frontmost
    // application; for an application-window stream the request's
    // application. Throws windowResizeUnavailable; display streams have none.
    std::shared_ptr<platform::RunningApplication> streamedApplication();
    // The application's accessibility window to act on: the one with the
    // window number, else the one nearest the frame, else the focused one,
    // else the first that is not minimized. Throws windowResizeUnavailable
    // when every window is minimized or there is none.
    platform::AXElement resizableWindowElement(const platform::RunningApplication& application,
                                               platform::WindowID windowID, const std::optional<platform::Rect>& frame);

    // The client-native display mode (session_display_mode.cpp). At the
    // start: switches the selection's display for the device's pixels when
    // the request asks for it; true when the display was switched.
    bool applyClientNativeDisplayModeIfNeeded(const SelectedContent& selected);
    // Switches the display to the mode that fits width x height best, first
    // restoring a display that an earlier switch changed; true when switched.
    // The stop restores what is switched.
    bool applyClientNativeDisplayMode(platform::DisplayID displayID, const std::string& reason, double width,
                                      double height);

    // Frontmost-window tracking (session_window_tracking.cpp). For a
    // frontmost-window stream that follows the active window: a step at once
    // and then every half second on the tasks strand, until the stop or
    // until the session is gone.
    void startFrontmostWindowTracking();
    // The streamed window moved or changed size: pointer input follows it.
    void updateSelectedPointerBounds(platform::WindowID windowID, const platform::Rect& bounds);

    // Window resizing (session_window_resize.cpp), on the control queue.
    // The stream's geometry after a resize.
    struct WindowStreamResizeOutcome {
        std::int64_t maximumDimension = 0;  // the longest output side allowed
        double pointPixelScale = 1;         // pixels per point of the window
        std::int64_t sourceWidth = 0;       // the window in pixels
        std::int64_t sourceHeight = 0;
        std::int64_t outputWidth = 0;  // the encoded picture in pixels
        std::int64_t outputHeight = 0;
        bool scalesToFit = false;
        bool operator==(const WindowStreamResizeOutcome&) const = default;
    };
    struct WindowResizeOutcome {
        platform::Size requestedSize;  // normalised, points
        std::optional<platform::Size> requestedPixelSize;
        double requestedPointPixelScale = 1;
        platform::Rect targetFrame;  // what the window was asked to take
        platform::Size actualSize;   // what it took
        WindowStreamResizeOutcome streamResize;
        bool operator==(const WindowResizeOutcome&) const = default;
    };
    // A coroutine on the control strand that holds the session only between
    // its waits: resizes the streamed window around its centre, on its
    // display, and brings the stream to its new size. A repeated request for
    // a window that is where the last one left it is answered from the last
    // outcome. Throws RemoteScreenStreamServerError::windowResizeUnavailable.
    static asio::awaitable<WindowResizeOutcome> resizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                             RemoteScreenResizeWindowRequest request);
    // Logs how the window and the stream fit the request; the message for
    // the device when the application did not take the size asked for.
    std::optional<std::string> fitWindow(const WindowResizeOutcome& outcome);

    // The stream after a window resize (session_window_reconfiguration.cpp),
    // a coroutine on the control strand that holds the session only between
    // its waits: fresh content and filter, then the output size, a new
    // encoder and the capture configuration, each wait 2 s at most. Throws
    // windowResizeUnavailable, or what the content fetch or the encoder
    // creation throws.
    static asio::awaitable<WindowStreamResizeOutcome> reconfigureStreamForWindowResize(
        std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
        RemoteScreenResizeWindowRequest request);
    // The device's own pixel size for the stream, when client-native sizing
    // applies to the session or to this request and it gives pixels.
    std::optional<PixelSize> clientNativeTargetSize(const RemoteScreenResizeWindowRequest& request) const;

private:
    // What the pipeline reports: a stream that cannot go on, a frame sent.
    StreamPipeline::Events pipelineEvents();
    void stopFromCallback();
    void scheduleFrontmostWindowStep(double delaySeconds);
    // One tracking step; it holds the session only between its waits.
    static asio::awaitable<void> followFrontmostWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession);
    // The filter swap, given up after 2 s without an answer (logged).
    static asio::awaitable<void> switchToWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                std::shared_ptr<StreamPipeline> pipeline, SelectedContent content,
                                                platform::WindowID expectedWindowID);

    // The stream after a window resize (session_window_reconfiguration.cpp).
    // The session, or windowResizeUnavailable when it is gone.
    static std::shared_ptr<RemoteScreenStreamSession> lockedOrGone(
        const std::weak_ptr<RemoteScreenStreamSession>& weakSession);
    // Up to four fetches until the window shows about the expected size,
    // else the last one that held it; holds the session only weakly.
    static asio::awaitable<std::optional<SelectedContent>> refreshedWindowContent(
        std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
        double scale);

    // The inbound side (session_inbound.cpp), on the connection queue.
    void startReceiving();
    void armReceive(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer);
    void processIncoming(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer, std::span<const std::uint8_t> content,
                         bool isComplete, std::error_code error);
    // Dispatches every whole frame; false after a wire error, which ended
    // the stream.
    bool consumeFrames(RemoteScreenStreamReceiveBuffer& buffer);
    void dispatchFrame(RemoteScreenStreamFrame frame);
    // Queues the job behind every earlier one on the control strand; the
    // payload's bytes count against maximumInputAwaitingControl until the
    // job is done.
    void dispatchToControlQueue(ControlJob job, std::size_t payloadBytes);
    // Runs the queued control jobs one after the other, awaiting each; it
    // holds the session only between jobs and their waits.
    static asio::awaitable<void> runControlJobs(std::weak_ptr<RemoteScreenStreamSession> weakSession);
    // Whether the next receive may be armed now, or waits for input or
    // output to drain.
    bool mayReceive();
    void resumeReceivingIfPaused();
    // Hands the controller to the control queue, which lets go of its drag
    // and pinch there even after the stop, so nothing stays pressed.
    void releasePointerController(std::shared_ptr<RemoteScreenPointerController> controller);
    void releasePendingPointerControllers();

    // Window resizing (session_window_resize.cpp), on the control strand.
    // What the resize's steps before the stream's reconfiguration leave.
    struct WindowPlacement {
        platform::WindowID windowID = 0;
        // The outcome of an identical earlier resize, answered again.
        std::optional<WindowResizeOutcome> repeated;
        // What the window took, and the outcome but for the stream's part.
        platform::Rect actualFrame;
        WindowResizeOutcome outcome;
    };
    // The window's part of a resize: the checks, the display mode, the
    // window's new frame and the pointer bounds that follow it.
    WindowPlacement placeStreamedWindow(const RemoteScreenResizeWindowRequest& request);
    // Moves and resizes the window around the frame, kept on its display
    // among the active displays' bounds; returns the frame it asked for. Throws when the size is refused.
    platform::Rect applyWindowFrame(const platform::AXElement& window, const platform::Size& size,
                                    const platform::Rect& around, const std::vector<platform::Rect>& displays);
    // A client-native session switches the window's display (the main
    // display without one) for the device's pixels.
    void applyClientNativeDisplayModeForResize(const RemoteScreenResizeWindowRequest& request,
                                               const std::optional<platform::Rect>& bounds);

    // Input handlers (session_input.cpp), on the control queue.
    void handlePointerEvent(const RemoteScreenPointerEvent& event);
    void handleHeadTrackingEvent(const RemoteScreenHeadPoseEvent& event);
    void handlePasteText(std::span<const std::uint8_t> payload);
    void handleKeyboardEvent(std::span<const std::uint8_t> payload);
    static asio::awaitable<void> handleResizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                    std::vector<std::uint8_t> payload);
    // Brings the streamed window's application and the window to the front
    // before input is applied; nothing for display streams. Throws when the
    // application cannot be found.
    void focusStreamedWindow();
    // The focusing step for events that get no answer: a failure is logged
    // with the event's name and the event dropped (false).
    bool focusForEvent(std::string_view eventName);
    bool isHeadTrackingTargetFrontmost(const RemoteScreenHeadPoseEvent& event);
    // Runs the command's work and answers it: succeeded with the message
    // the work returns, or failed with the text of what the work threw.
    void answerCommand(RemoteScreenStreamCommandKind command, const std::function<std::optional<std::string>()>& work);
    void sendCommandResult(RemoteScreenStreamCommandKind command, bool succeeded, std::optional<std::string> message);

    const platform::Uuid id_;
    const RemoteScreenStreamRequest request_;
    const std::shared_ptr<StreamConnection> connection_;
    Environment environment_;
    platform::StrandQueue controlQueue_;
    // Made with the session (make), which it reports to.
    std::shared_ptr<StreamPipeline> pipeline_;
    StopCallback onStop_;
    // Emitted on the tasks strand.
    std::shared_ptr<asio::cancellation_signal> startCancellation_;

    std::mutex lock_;
    // A guarded field's value, read under lock_.
    template <class T>
    std::shared_ptr<T> lockedCopy(const std::shared_ptr<T>& field) {
        std::lock_guard guard(lock_);
        return field;
    }
    // Guarded by lock_.
    std::optional<platform::WindowID> selectedWindowID_;
    std::optional<platform::Rect> selectedPointerBounds_;
    std::optional<double> selectedPointPixelScale_;
    // Used on the control queue only; replaced under the lock.
    std::shared_ptr<RemoteScreenPointerController> pointerController_;
    // Replaced controllers whose release job has not run yet.
    std::vector<std::shared_ptr<RemoteScreenPointerController>> pendingPointerReleases_;
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController_;
    platform::Timer frontmostWindowTrackingTimer_;
    // Environment::tasks until the stop.
    asio::any_io_executor tasks_;
    bool didStop_ = false;

    // The last resize that completed, which a repeated request is answered
    // from; control queue only.
    struct LastWindowResize {
        platform::WindowID windowID = 0;
        RemoteScreenResizeWindowRequest request;
        WindowResizeOutcome outcome;
    };
    std::optional<LastWindowResize> lastWindowResize_;

    // Raw input bytes posted to the control queue and not yet handled.
    std::atomic<std::size_t> inputAwaitingControl_{0};
    // Control strand only: the jobs waiting for the one that runs.
    struct QueuedControlJob {
        ControlJob job;
        std::size_t rawBytes = 0;
    };
    std::deque<QueuedControlJob> controlJobs_;
    bool isRunningControlJobs_ = false;
    // Connection queue only: the buffer of a receive loop that waits for
    // input or output to drain.
    std::shared_ptr<RemoteScreenStreamReceiveBuffer> pausedReceive_;
    std::atomic<bool> isReceivePaused_{false};
};

}  // namespace zentrabo
