#include "screenstream/stream_inbound.hpp"

#include <exception>
#include <string>
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"
#include "model/records/stream_input_wire.hpp"
#include "model/task_failure.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "screenstream/stream_input.hpp"

namespace zentrabo {

StreamInbound::StreamInbound(std::weak_ptr<RemoteScreenStreamSession> session,
                             std::shared_ptr<StreamConnection> connection, platform::StrandQueue& controlQueue)
    : session_(std::move(session)), connection_(std::move(connection)), controlQueue_(controlQueue) {}

void StreamInbound::start() {
    asio::post(connection_->executor(), [weakSelf = weak_from_this()] {
        auto self = weakSelf.lock();
        if (!self) return;
        // What the request line's read took past its line feed is the start
        // of the stream: input sent right behind the request.
        auto buffer = std::make_shared<RemoteScreenStreamReceiveBuffer>();
        buffer->append(self->connection_->takeBytesReadAhead());
        self->processIncoming(std::move(buffer), {}, false, {});
    });
}

void StreamInbound::arm(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer) {
    connection_->receive(receiveChunkLength,
                         [weakSelf = weak_from_this(), buffer = std::move(buffer)](
                             std::span<const std::uint8_t> content, bool isComplete, std::error_code error) mutable {
                             // An inbound side that is gone arms nothing and stops nothing.
                             if (auto self = weakSelf.lock())
                                 self->processIncoming(std::move(buffer), content, isComplete, error);
                         });
}

void StreamInbound::processIncoming(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer,
                                    std::span<const std::uint8_t> content, bool isComplete, std::error_code error) {
    // What came with the end of the stream is not parsed.
    if (error || isComplete) {
        if (auto session = session_.lock()) session->end(std::nullopt);
        return;
    }
    buffer->append(content);
    if (!consumeFrames(*buffer)) return;
    if (mayReceive()) {
        arm(std::move(buffer));
        return;
    }
    pausedReceive_ = std::move(buffer);
    isReceivePaused_ = true;
    // Whatever drained between the check and the flag would not resume it.
    resumeIfPaused();
}

bool StreamInbound::consumeFrames(RemoteScreenStreamReceiveBuffer& buffer) {
    try {
        while (auto frame = RemoteScreenStreamWire::nextFrame(buffer)) dispatchFrame(std::move(*frame));
    } catch (const std::exception& error) {
        // The stream cannot be resynchronised: its rest is dropped unread.
        if (auto session = session_.lock()) session->end(error.what());
        return false;
    }
    return true;
}

void StreamInbound::dispatchFrame(RemoteScreenStreamFrame frame) {
    const std::size_t rawBytes = frame.payload.size();
    // Hands the payload, decoded or raw, to its handler on the control strand.
    const auto queue = [this, rawBytes](auto handler, auto payload) {
        queueForControl(
            {[handler, payload = std::move(payload)](RemoteScreenStreamSession& session) { handler(session, payload); },
             {}},
            rawBytes);
    };
    switch (frame.kind) {
    // Events are decoded here, so a malformed one ends the stream.
    case RemoteScreenStreamFrameKind::pointerEvent:
        queue(handlePointerEvent, RemoteScreenPointerEventWire::decode(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::headPose:
        queue(handleHeadTrackingEvent, RemoteScreenHeadPoseEventWire::decode(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::pasteText:
        queue(handlePasteText, std::move(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::keyboardEvent:
        queue(handleKeyboardEvent, std::move(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::resizeWindow:
        queueForControl({{},
                         [payload = std::move(frame.payload)](std::weak_ptr<RemoteScreenStreamSession> session) {
                             return handleResizeWindow(std::move(session), payload);
                         }},
                        rawBytes);
        break;
    default:
        // Kinds the Mac sends, and "end": consumed and dropped.
        break;
    }
}

void StreamInbound::queueForControl(ControlJob job, std::size_t payloadBytes) {
    // Every job counts its closure too, so a flood of small pointer events
    // is bounded like a flood of pasted text.
    const std::size_t rawBytes = payloadBytes + queuedJobOverhead;
    inputAwaitingControl_ += rawBytes;
    controlQueue_.post([weakSelf = weak_from_this(), job = std::move(job), rawBytes]() mutable {
        auto self = weakSelf.lock();
        if (!self) return;
        self->controlJobs_.push_back({std::move(job), rawBytes});
        if (self->isRunningControlJobs_) return;
        self->isRunningControlJobs_ = true;
        asio::co_spawn(self->controlQueue_.executor(), runControlJobs(weakSelf),
                       LogTaskFailure("Screen stream control jobs ended: "));
    });
}

asio::awaitable<void> StreamInbound::runControlJobs(std::weak_ptr<StreamInbound> weakInbound) {
    for (;;) {
        QueuedControlJob queued;
        std::weak_ptr<RemoteScreenStreamSession> weakSession;
        bool stopped = true;
        {
            const auto self = weakInbound.lock();
            if (!self) co_return;
            if (self->controlJobs_.empty()) {
                self->isRunningControlJobs_ = false;
                co_return;
            }
            queued = std::move(self->controlJobs_.front());
            self->controlJobs_.pop_front();
            weakSession = self->session_;
            if (const auto session = weakSession.lock()) {
                stopped = session->hasStopped();
                if (!stopped && queued.job.now) queued.job.now(*session);
            }
        }
        if (!stopped && queued.job.awaited) {
            // A job answers its own failures; one that escapes must not
            // stall the jobs behind it.
            try {
                co_await queued.job.awaited(weakSession);
            } catch (const std::exception& error) {
                ZENTRABO_LOG(std::string("Screen stream control job failed: ") + error.what());
            }
        }
        const auto self = weakInbound.lock();
        if (!self) co_return;
        self->inputAwaitingControl_ -= queued.rawBytes;
        self->resumeIfPaused();
    }
}

bool StreamInbound::mayReceive() {
    if (inputAwaitingControl_ >= maximumInputAwaitingControl) return false;
    const auto session = session_.lock();
    return session && session->pipeline().hasOutgoingRoom();
}

void StreamInbound::resumeIfPaused() {
    if (!isReceivePaused_) return;
    asio::post(connection_->executor(), [weakSelf = weak_from_this()] {
        auto self = weakSelf.lock();
        if (!self || !self->pausedReceive_ || !self->mayReceive()) return;
        self->isReceivePaused_ = false;
        self->arm(std::move(self->pausedReceive_));
    });
}

}  // namespace zentrabo
