#pragma once
// The stream's video encoder on the platform's H.264 / HEVC compression
// session. Every member runs on the session's encoder queue; the session
// produces its packets right there, so finished frames leave on that queue.
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "platform/dispatch/clock.hpp"
#include "platform/media/rgba_to_yuv420_converter.hpp"
#include "platform/media/video_compression_session.hpp"
#include "screenstream/video_encoder.hpp"
#include "screenstream/video_frame_sequencer.hpp"

namespace zentrabo {

class RemoteVideoScreenEncoder final : public VideoEncoder {
public:
    // The compression session is open at the bitrate given; the clock times
    // the bitrate cuts. Throws platform::MediaError when the picture
    // converter cannot be made.
    RemoteVideoScreenEncoder(VideoStreamFormat format, std::int64_t bitrate,
                             std::unique_ptr<platform::VideoCompressionSession> compressionSession,
                             EncodedFrameHandler onFrame, const platform::Clock& clock,
                             std::uint32_t firstSequenceNumber = 1);

    void encode(const CapturedVideoFrame& frame) override;
    void requestKeyFrame() override;
    void reduceBitrateForTransportPressure() override;
    void shutdown() override;

private:
    // Notes the picture's capture time among those of the last second.
    void notePictureTime(std::chrono::nanoseconds presentationTime);
    bool keyFrameDue(std::chrono::nanoseconds presentationTime) const;
    void sendFinishedPackets();

    std::unique_ptr<platform::VideoCompressionSession> compressionSession_;
    platform::RgbaToYuv420Converter converter_;
    VideoFrameSequencer sequencer_;
    const platform::Clock& clock_;
    const std::int64_t configuredBitrate_;
    std::int64_t activeBitrate_;
    // On the clock's monotonic scale; none before the first cut.
    std::optional<double> lastTransportPressureAdjustmentTime_;
    bool shouldForceKeyFrame_ = false;
    // Capture time of the last key frame the encoder produced.
    std::optional<std::int64_t> lastKeyFrameTimeNanoseconds_;
    // The gaps between the pictures submitted in the last second, each with
    // the capture time of the picture that ended it, oldest first.
    struct PictureGap {
        std::chrono::nanoseconds time;
        std::chrono::nanoseconds gap;
    };
    std::deque<PictureGap> recentPictureGaps_;
    std::optional<std::chrono::nanoseconds> lastPictureTime_;
};

}  // namespace zentrabo
