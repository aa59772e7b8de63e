#include "screenstream/pipeline/transport_admission.hpp"

#include <algorithm>

namespace zentrabo {

bool isKeyFrame(const RemoteScreenStreamFrame& frame) {
    return frame.kind == RemoteScreenStreamFrameKind::video &&
           (frame.flags & RemoteScreenStreamFrame::keyFrameFlag) != 0;
}

std::int64_t TransportAdmission::budget(const RemoteScreenStreamRequest& request) {
    constexpr std::int64_t smallBudget = 1500000;
    if (!request.bitrate) return smallBudget;
    const std::int64_t bitrate = std::clamp<std::int64_t>(*request.bitrate, 500000, 35000000);
    if (bitrate < 6000000) return smallBudget;
    if (bitrate < 32000000) return bitrate / 4;
    return 8000000;
}

TransportAdmission::Verdict TransportAdmission::admit(const RemoteScreenStreamFrame& frame, std::int64_t byteCount) {
    std::lock_guard guard(lock_);
    if (isClosed_) return Verdict::refused;
    // Taken before this frame is added.
    const bool overBudget = queuedBytes_ > budget_;
    const bool overCeiling = queuedBytes_ > budget_ * ceilingFactor;
    switch (frame.kind) {
    case RemoteScreenStreamFrameKind::video:
        if (isKeyFrame(frame)) {
            // Key frames pass the budget, so a stalled reader would grow the
            // queue by one a second without a ceiling.
            if (overCeiling) {
                awaitingKeyFrame_ = true;
                return refusedVideoLocked();
            }
            droppedPredictedFrames_ = 0;
            awaitingKeyFrame_ = false;
        } else if (overBudget || awaitingKeyFrame_) {
            ++droppedPredictedFrames_;
            return refusedVideoLocked();
        }
        break;
    case RemoteScreenStreamFrameKind::audio:
        if (overBudget) return Verdict::refused;
        break;
    default:
        break;
    }
    queuedBytes_ += byteCount;
    return Verdict::admitted;
}

TransportAdmission::Verdict TransportAdmission::refusedVideoLocked() const {
    return droppedPredictedFrames_ >= droppedFramesBeforeKeyFrame ? Verdict::refusedUnderPressure : Verdict::refused;
}

void TransportAdmission::release(std::int64_t byteCount) {
    std::lock_guard guard(lock_);
    queuedBytes_ = std::max<std::int64_t>(queuedBytes_ - byteCount, 0);
}

bool TransportAdmission::isUnderCeiling() {
    std::lock_guard guard(lock_);
    return queuedBytes_ < budget_ * ceilingFactor;
}

void TransportAdmission::close() {
    std::lock_guard guard(lock_);
    isClosed_ = true;
    queuedBytes_ = 0;
    droppedPredictedFrames_ = 0;
    awaitingKeyFrame_ = false;
}

}  // namespace zentrabo
