#pragma once
// The inbound side of a stream: the connection read in small pieces on its
// own strand, cut into frames, and the device's input run on the session's
// control strand one job after the other, in arrival order. Reading pauses
// while too much input waits for the control strand or too much output for
// the connection, so a flood meets TCP back-pressure and nothing is dropped.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <system_error>

#include <asio/awaitable.hpp>

#include "platform/dispatch/strand_queue.hpp"
#include "screenstream/codec/remote_screen_stream_frame.hpp"
#include "screenstream/codec/remote_screen_stream_receive_buffer.hpp"
#include "screenstream/stream_connection.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

class StreamInbound : public std::enable_shared_from_this<StreamInbound> {
public:
    // Each receive asks for at most this much.
    static constexpr std::size_t receiveChunkLength = 4096;
    // Raw input payloads (pasted text, keys, resizes) waiting for the control
    // strand; at or above it the connection is not read until they drain.
    static constexpr std::size_t maximumInputAwaitingControl = 8 * 1024 * 1024;
    // What each queued input job counts beside its payload.
    static constexpr std::size_t queuedJobOverhead = 256;

    // One job of the control strand: work done at once on the session, or
    // a coroutine that holds the session only between its waits.
    struct ControlJob {
        std::function<void(RemoteScreenStreamSession&)> now;
        std::function<asio::awaitable<void>(std::weak_ptr<RemoteScreenStreamSession>)> awaited;
    };

    // The session owns the inbound side; both strands keep their contexts.
    StreamInbound(std::weak_ptr<RemoteScreenStreamSession> session, std::shared_ptr<StreamConnection> connection,
                  platform::StrandQueue& controlQueue);

    // Reads from the bytes the request line's read took past its line feed on.
    void start();
    // Output drained: a paused read may go on.
    void resumeIfPaused();

private:
    void arm(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer);
    void processIncoming(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer, std::span<const std::uint8_t> content,
                         bool isComplete, std::error_code error);
    // Dispatches every whole frame; false after a wire error, which ended
    // the stream.
    bool consumeFrames(RemoteScreenStreamReceiveBuffer& buffer);
    void dispatchFrame(RemoteScreenStreamFrame frame);
    // Queues the job behind every earlier one on the control strand; the
    // payload's bytes count against maximumInputAwaitingControl until the
    // job is done.
    void queueForControl(ControlJob job, std::size_t payloadBytes);
    // Runs the queued jobs one after the other, awaiting each; jobs are
    // skipped once the session has stopped.
    static asio::awaitable<void> runControlJobs(std::weak_ptr<StreamInbound> weakInbound);
    // Whether the next receive may be armed now.
    bool mayReceive();

    const std::weak_ptr<RemoteScreenStreamSession> session_;
    const std::shared_ptr<StreamConnection> connection_;
    // A copy of the session's, so a job posted late never reaches a queue
    // that went with the session.
    platform::StrandQueue controlQueue_;
    // Raw input bytes posted to the control strand and not yet handled.
    std::atomic<std::size_t> inputAwaitingControl_{0};
    // Control strand only: the jobs waiting for the one that runs.
    struct QueuedControlJob {
        ControlJob job;
        std::size_t rawBytes = 0;
    };
    std::deque<QueuedControlJob> controlJobs_;
    bool isRunningControlJobs_ = false;
    // Connection strand only: the buffer of a read that waits for input or
    // output to drain.
    std::shared_ptr<RemoteScreenStreamReceiveBuffer> pausedReceive_;
    std::atomic<bool> isReceivePaused_{false};
};

}  // namespace zentrabo
