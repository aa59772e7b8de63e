// The inbound side of a session: the connection read in small pieces, cut
// into frames, input handed to the control queue in arrival order.
#include <exception>
#include <string>
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/stream_input_wire.hpp"
#include "model/task_failure.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

void RemoteScreenStreamSession::startReceiving() {
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

void RemoteScreenStreamSession::armReceive(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer) {
    connection_->receive(receiveChunkLength,
                         [weakSelf = weak_from_this(), buffer = std::move(buffer)](
                             std::span<const std::uint8_t> content, bool isComplete, std::error_code error) mutable {
                             // A session that is gone arms nothing and stops nothing.
                             if (auto self = weakSelf.lock())
                                 self->processIncoming(std::move(buffer), content, isComplete, error);
                         });
}

void RemoteScreenStreamSession::processIncoming(std::shared_ptr<RemoteScreenStreamReceiveBuffer> buffer,
                                                std::span<const std::uint8_t> content, bool isComplete,
                                                std::error_code error) {
    // What came with the end of the stream is not parsed.
    if (error || isComplete) {
        stopFromCallback();
        return;
    }
    buffer->append(content);
    if (!consumeFrames(*buffer)) return;
    if (mayReceive()) {
        armReceive(std::move(buffer));
        return;
    }
    pausedReceive_ = std::move(buffer);
    isReceivePaused_ = true;
    // Whatever drained between the check and the flag would not resume it.
    resumeReceivingIfPaused();
}

bool RemoteScreenStreamSession::consumeFrames(RemoteScreenStreamReceiveBuffer& buffer) {
    try {
        while (auto frame = RemoteScreenStreamWire::nextFrame(buffer)) dispatchFrame(std::move(*frame));
    } catch (const std::exception& error) {
        // The stream cannot be resynchronised: its rest is dropped unread.
        connection_->sendScreenStreamError(error.what());
        stopFromCallback();
        return false;
    }
    return true;
}

void RemoteScreenStreamSession::dispatchFrame(RemoteScreenStreamFrame frame) {
    const std::size_t rawBytes = frame.payload.size();
    // Hands the payload, decoded or raw, to its handler on the control queue.
    const auto queue = [this, rawBytes](auto handler, auto payload) {
        dispatchToControlQueue(
            {[handler, payload = std::move(payload)](RemoteScreenStreamSession& self) { (self.*handler)(payload); },
             {}},
            rawBytes);
    };
    switch (frame.kind) {
    // Events are decoded here, so a malformed one ends the stream.
    case RemoteScreenStreamFrameKind::pointerEvent:
        queue(&RemoteScreenStreamSession::handlePointerEvent, RemoteScreenPointerEventWire::decode(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::headPose:
        queue(&RemoteScreenStreamSession::handleHeadTrackingEvent,
              RemoteScreenHeadPoseEventWire::decode(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::pasteText:
        queue(&RemoteScreenStreamSession::handlePasteText, std::move(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::keyboardEvent:
        queue(&RemoteScreenStreamSession::handleKeyboardEvent, std::move(frame.payload));
        break;
    case RemoteScreenStreamFrameKind::resizeWindow:
        dispatchToControlQueue({{},
                                [payload = std::move(frame.payload)](std::weak_ptr<RemoteScreenStreamSession> self) {
                                    return handleResizeWindow(std::move(self), payload);
                                }},
                               rawBytes);
        break;
    default:
        // Kinds the Mac sends, and "end": consumed and dropped.
        break;
    }
}

void RemoteScreenStreamSession::dispatchToControlQueue(ControlJob job, std::size_t payloadBytes) {
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

asio::awaitable<void> RemoteScreenStreamSession::runControlJobs(std::weak_ptr<RemoteScreenStreamSession> weakSession) {
    for (;;) {
        QueuedControlJob queued;
        bool stopped = false;
        {
            const auto self = weakSession.lock();
            if (!self) co_return;
            if (self->controlJobs_.empty()) {
                self->isRunningControlJobs_ = false;
                co_return;
            }
            queued = std::move(self->controlJobs_.front());
            self->controlJobs_.pop_front();
            {
                std::lock_guard guard(self->lock_);
                stopped = self->didStop_;
            }
            if (!stopped && queued.job.now) queued.job.now(*self);
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
        const auto self = weakSession.lock();
        if (!self) co_return;
        self->inputAwaitingControl_ -= queued.rawBytes;
        self->resumeReceivingIfPaused();
    }
}

bool RemoteScreenStreamSession::mayReceive() {
    return inputAwaitingControl_ < maximumInputAwaitingControl && pipeline_->hasOutgoingRoom();
}

void RemoteScreenStreamSession::resumeReceivingIfPaused() {
    if (!isReceivePaused_) return;
    asio::post(connection_->executor(), [weakSelf = weak_from_this()] {
        auto self = weakSelf.lock();
        if (!self || !self->pausedReceive_ || !self->mayReceive()) return;
        self->isReceivePaused_ = false;
        self->armReceive(std::move(self->pausedReceive_));
    });
}

void RemoteScreenStreamSession::sendCommandResult(RemoteScreenStreamCommandKind command, bool succeeded,
                                                  std::optional<std::string> message) {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::commandResult;
    try {
        const std::string json = encodeRecord(RemoteScreenStreamCommandResultPayload{command, succeeded, message});
        frame.payload.assign(json.begin(), json.end());
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Screen stream command result encoding failed: ") + error.what());
        return;
    }
    pipeline_->send(frame);
}

}  // namespace zentrabo
