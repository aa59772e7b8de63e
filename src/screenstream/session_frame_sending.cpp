// Frame sending: admission against the bytes still queued on the connection,
// release when a send completes, and the reaction to refused video frames.
#include <algorithm>
#include <string>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {
namespace {

bool isKeyFrame(const RemoteScreenStreamFrame& frame) {
    return frame.kind == RemoteScreenStreamFrameKind::video &&
           (frame.flags & RemoteScreenStreamFrame::keyFrameFlag) != 0;
}

}  // namespace

std::int64_t RemoteScreenStreamSession::transportQueueLimit(const RemoteScreenStreamRequest& request) {
    constexpr std::int64_t smallLimit = 1500000;
    if (!request.bitrate) return smallLimit;
    const std::int64_t bitrate = std::clamp<std::int64_t>(*request.bitrate, 500000, 35000000);
    if (bitrate < 6000000) return smallLimit;
    if (bitrate < 32000000) return bitrate / 4;
    return 8000000;
}

void RemoteScreenStreamSession::sendFrame(const RemoteScreenStreamFrame& frame) {
    // Every receiver refuses a longer payload and could not read on past it.
    if (frame.payload.size() > RemoteScreenStreamWire::maximumPayloadLength) {
        ZENTRABO_LOG("Screen stream frame dropped: payload of " + std::to_string(frame.payload.size()) +
                     " bytes is too large to send");
        if (isKeyFrame(frame)) requestKeyFrame();
        return;
    }
    std::vector<std::uint8_t> bytes = RemoteScreenStreamWire::encode(frame);
    const auto byteCount = static_cast<std::int64_t>(bytes.size());
    if (!admitOutgoing(frame, byteCount)) {
        if (frame.kind == RemoteScreenStreamFrameKind::video) checkTransportPressure();
        return;
    }
    std::weak_ptr<RemoteScreenStreamSession> weakSelf = weak_from_this();
    connection_->send(std::move(bytes), [weakSelf, kind = frame.kind, byteCount](std::error_code error) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->releaseOutgoing(kind, byteCount);
        if (error) {
            self->stopFromCallback();
            return;
        }
        self->resumeReceivingIfPaused();
    });
}

bool RemoteScreenStreamSession::admitOutgoing(const RemoteScreenStreamFrame& frame, std::int64_t byteCount) {
    std::lock_guard guard(lock_);
    if (didStop_) return false;
    // Taken before this frame is added.
    const bool overLimit = transportQueuedBytes_ > transportQueueLimit_;
    const bool overCeiling = transportQueuedBytes_ > transportQueueLimit_ * transportCeilingFactor;
    switch (frame.kind) {
    case RemoteScreenStreamFrameKind::video:
        if (isKeyFrame(frame)) {
            // Key frames pass the limit, so a stalled reader would grow the
            // queue by one a second without a ceiling.
            if (overCeiling) {
                awaitingKeyFrame_ = true;
                return false;
            }
            transportDroppedPFrames_ = 0;
            awaitingKeyFrame_ = false;
        } else if (overLimit || awaitingKeyFrame_) {
            ++transportDroppedPFrames_;
            return false;
        }
        ++transportQueuedVideoFrames_;
        break;
    case RemoteScreenStreamFrameKind::audio:
        if (overLimit) return false;
        break;
    default:
        break;
    }
    transportQueuedBytes_ += byteCount;
    return true;
}

void RemoteScreenStreamSession::releaseOutgoing(RemoteScreenStreamFrameKind kind, std::int64_t byteCount) {
    std::lock_guard guard(lock_);
    transportQueuedBytes_ = std::max<std::int64_t>(transportQueuedBytes_ - byteCount, 0);
    if (kind == RemoteScreenStreamFrameKind::video) {
        transportQueuedVideoFrames_ = std::max<std::int64_t>(transportQueuedVideoFrames_ - 1, 0);
    }
}

void RemoteScreenStreamSession::checkTransportPressure() {
    std::int64_t dropped = 0;
    {
        std::lock_guard guard(lock_);
        dropped = transportDroppedPFrames_;
    }
    if (dropped < droppedFramesBeforeKeyFrame) return;
    requestKeyFrame();
    onEncoderQueue([](VideoEncoder& encoder) { encoder.reduceBitrateForTransportPressure(); });
}

void RemoteScreenStreamSession::requestKeyFrame() {
    onEncoderQueue([](VideoEncoder& encoder) { encoder.requestKeyFrame(); });
}

void RemoteScreenStreamSession::onEncoderQueue(std::function<void(VideoEncoder&)> work) {
    // Hops to the encoder queue, so it never races with frame submission,
    // and finds the encoder current then: none after a stop or teardown.
    encoderQueue_.post([weakSelf = weak_from_this(), work = std::move(work)] {
        auto self = weakSelf.lock();
        if (!self) return;
        if (const auto encoder = self->lockedCopy(self->encoder_)) work(*encoder);
    });
}

}  // namespace zentrabo
