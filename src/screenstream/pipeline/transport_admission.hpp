#pragma once
// The byte budget between the encoder and the connection: which frame may
// join the bytes the connection still holds, and when refused video asks
// the encoder for a key frame and a lower bitrate. Thread-safe.
#include <cstdint>
#include <mutex>

#include "model/records/stream_records.hpp"
#include "screenstream/codec/remote_screen_stream_frame.hpp"

namespace zentrabo {

class TransportAdmission {
public:
    // Outgoing bytes above the budget times this refuse key frames too.
    static constexpr std::int64_t ceilingFactor = 4;
    // Refused non-key video frames in a row that ask for a key frame and a
    // lower bitrate.
    static constexpr std::int64_t droppedFramesBeforeKeyFrame = 3;

    // Bytes a stream may have queued before ordinary video and audio yield.
    static std::int64_t budget(const RemoteScreenStreamRequest& request);

    explicit TransportAdmission(const RemoteScreenStreamRequest& request) : budget_(budget(request)) {}

    enum class Verdict {
        admitted,
        refused,
        // Refused, and the encoder is asked for a key frame and a lower bitrate.
        refusedUnderPressure,
    };
    // Counts the frame's bytes as queued when it is admitted.
    Verdict admit(const RemoteScreenStreamFrame& frame, std::int64_t byteCount);
    // A frame's write completed, or failed.
    void release(std::int64_t byteCount);
    // Whether the connection holds less than the ceiling, so reading input
    // (whose answers add to it) may go on.
    bool isUnderCeiling();
    // The stream stopped: nothing is admitted any more.
    void close();

private:
    Verdict refusedVideoLocked() const;

    const std::int64_t budget_;
    std::mutex lock_;
    // Guarded by lock_.
    std::int64_t queuedBytes_ = 0;
    std::int64_t droppedPredictedFrames_ = 0;
    // Set when a key frame was refused at the ceiling: all video is refused
    // until a key frame is admitted, since frames after it cannot be decoded.
    bool awaitingKeyFrame_ = false;
    bool isClosed_ = false;
};

bool isKeyFrame(const RemoteScreenStreamFrame& frame);

}  // namespace zentrabo
