#pragma once
// Chooses and opens the video encoder of a stream: the codec the request
// prefers, falling back to H.264, at the request's bitrate within bounds.
#include <cstdint>
#include <functional>
#include <memory>

#include "model/records/stream_records.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/media/video_compression_session.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo {

// Opens a compression session or throws platform::MediaError; tests put a
// failing one in its place.
using VideoCompressionSessionOpener =
    std::function<std::unique_ptr<platform::VideoCompressionSession>(const platform::VideoCompressionSettings&)>;

inline constexpr std::int64_t minimumStreamBitrate = 500'000;
inline constexpr std::int64_t maximumStreamBitrate = 35'000'000;
inline constexpr std::int64_t defaultStreamBitrate = 2'500'000;

// The request's bitrate within minimumStreamBitrate ... maximumStreamBitrate,
// defaultStreamBitrate when it names none.
std::int64_t clampedStreamBitrate(const RemoteScreenStreamRequest& request);

// Tries each candidate codec in turn ([hevc, h264] when the request prefers
// HEVC, else [h264]), logging each failure; throws the last failure as
// RemoteScreenStreamServerError::encodingFailed. Finished frames go to
// onFrame; the clock times the bitrate cuts.
std::unique_ptr<VideoEncoder> makeVideoEncoder(
    const RemoteScreenStreamRequest& request, int width, int height, int framesPerSecond, EncodedFrameHandler onFrame,
    const platform::Clock& clock,
    const VideoCompressionSessionOpener& openSession = platform::VideoCompressionSession::open);

}  // namespace zentrabo
