#pragma once
// One live screen stream's control plane: it owns the request's connection
// and the stream's pipeline (capture, encode, send), reads the device's
// input and applies it on a control strand of the stream server's shared
// pool, follows the front window and resizes the streamed one; it starts
// once and stops exactly once, whatever ends it.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "model/records/stream_records.hpp"
#include "platform/random/uuid.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/strand_queue.hpp"
#include "screenstream/pipeline/stream_pipeline.hpp"
#include "screenstream/stream_connection.hpp"
#include "screenstream/stream_inbound.hpp"
#include "screenstream/stream_media_start.hpp"
#include "screenstream/stream_selection.hpp"
#include "screenstream/window_resize.hpp"

namespace zentrabo {

class RemoteScreenDisplayModeController;

class RemoteScreenStreamSession : public std::enable_shared_from_this<RemoteScreenStreamSession> {
public:
    static constexpr const char* displayStreamResizeMessage = "Only app window streams can be resized.";

    using StopCallback = std::function<void(const platform::Uuid& id)>;
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
        // The stream server's removal of the session, when the stream ends
        // from within (end()).
        StopCallback onStop;
    };

    // The session and its pipeline, which reports to it.
    static std::shared_ptr<RemoteScreenStreamSession> make(platform::Uuid id, RemoteScreenStreamRequest request,
                                                           std::shared_ptr<StreamConnection> connection,
                                                           Environment environment);
    RemoteScreenStreamSession(platform::Uuid id, RemoteScreenStreamRequest request,
                              std::shared_ptr<StreamConnection> connection, Environment environment);
    RemoteScreenStreamSession(const RemoteScreenStreamSession&) = delete;
    RemoteScreenStreamSession& operator=(const RemoteScreenStreamSession&) = delete;

    const platform::Uuid& id() const { return id_; }
    const RemoteScreenStreamRequest& request() const { return request_; }
    StreamConnection& connection() { return *connection_; }
    // The clock, the work pool and the controller the session acts with.
    const Environment& environment() const { return environment_; }
    StreamPipeline& pipeline() { return *pipeline_; }
    // What the stream shows, and its pointer.
    StreamSelection& selection() { return *selection_; }
    platform::StrandQueue& controlQueue() { return controlQueue_; }
    platform::Desktop& desktop() { return environment_.desktopController.desktop(); }

    // The start task is spawned bound to this slot; stop() cancels it.
    asio::cancellation_slot startCancellationSlot() { return startCancellation_->slot(); }

    // The start sequence, on the session's tasks strand: the permission, the
    // media start, the tracking, then the inbound side. Throws what ends the
    // stream.
    asio::awaitable<void> run();
    // Once, from any thread, never blocking: cancels the start, stops the
    // pipeline and the tracking, puts a switched display mode back and
    // cancels the connection.
    void stop();
    // The stream cannot go on: its error frame with the text, when there is
    // one, then the stop, through the stream server.
    void end(std::optional<std::string> errorText);
    bool hasStopped();

    // The client-native display mode (session_display_mode.cpp).
    // Switches the display to the mode that fits width x height best, first
    // restoring a display that an earlier switch changed; true when switched.
    // The stop restores what is switched.
    bool applyClientNativeDisplayMode(platform::DisplayID displayID, const std::string& reason, double width,
                                      double height);

    // Runs the step on the tasks strand after the delay, handing it that
    // strand; it replaces a step still waiting, and the stop cancels it.
    // Nothing after the stop.
    void scheduleTask(double delaySeconds, std::function<void(const asio::any_io_executor& tasks)> step);

    // The last window resize that completed; control strand only.
    std::optional<LastWindowResize>& lastWindowResize() { return lastWindowResize_; }

private:
    // What the pipeline reports: a stream that cannot go on, a frame sent.
    StreamPipeline::Events pipelineEvents();

    const platform::Uuid id_;
    const RemoteScreenStreamRequest request_;
    const std::shared_ptr<StreamConnection> connection_;
    Environment environment_;
    platform::StrandQueue controlQueue_;
    // Made with the session (make), which it reports to.
    std::shared_ptr<StreamPipeline> pipeline_;
    const std::shared_ptr<StreamSelection> selection_;
    // Made with the session (make), which its jobs act on.
    std::shared_ptr<StreamInbound> inbound_;
    // Emitted on the tasks strand.
    std::shared_ptr<asio::cancellation_signal> startCancellation_;

    std::mutex lock_;
    // Guarded by lock_.
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController_;
    // The step scheduleTask waits with.
    platform::Timer scheduledTask_;
    // Environment::tasks until the stop.
    asio::any_io_executor tasks_;
    bool didStop_ = false;
    // Control strand only.
    std::optional<LastWindowResize> lastWindowResize_;
};

}  // namespace zentrabo
