#pragma once
// How large a stream's pictures are, how often they come, and the capture
// configuration built from that.
#include <cstdint>

#include "model/records/stream_records.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "screenstream/client_native_target_size.hpp"

namespace zentrabo {

// Captured pictures a stream may hold undelivered or unencoded at once: each
// keeps its place until it has been encoded, so a slow encoder slows capture
// down instead of piling pictures up. The queue holds pictures in the video
// encoders' own format (CapturePixelFormat::encoderYuv420) rather than
// 32-bit BGRA: no captured picture reaches the wire, only what the encoder
// makes of it, and a 1080p picture so takes 3 MB instead of 8, which is what
// lets eight streams share a modest memory.
inline constexpr std::int32_t captureQueueDepth = 4;

// The request's maximumPixelDimension within 480 ... 5120 when it gives one
// above 0; otherwise the source's longer side.
std::int64_t captureMaximumPixelDimension(const RemoteScreenStreamRequest& request, const PixelSize& source);

// After a window resize: the same maximum, raised to the source's longer
// side for window streams, so a resized window is never scaled down by it;
// display streams keep the maximum as it is.
std::int64_t streamMaximumDimension(const RemoteScreenStreamRequest& request, const PixelSize& source);

// The source scaled down (never up) so its longer side fits the maximum,
// each side rounded, at least 2 and made even.
PixelSize fittedOutputSize(const PixelSize& source, std::int64_t maximum);

// The client-native target when the request asks for one and it exists;
// otherwise the fitted output size.
PixelSize captureOutputSize(const RemoteScreenStreamRequest& request, const PixelSize& source);

// framesPerSecond within 5 ... 60; 24 when absent.
int captureFramesPerSecond(const RemoteScreenStreamRequest& request);

// audioChannelCount within 1 ... 2; 2 when absent.
int captureAudioChannelCount(const RemoteScreenStreamRequest& request);

// The video stream's configuration. It scales unless the output is exactly
// the source's size; it captures audio when the request does not say no
// (the capture start may turn that off again).
platform::StreamConfiguration captureConfiguration(const RemoteScreenStreamRequest& request, const PixelSize& source,
                                                   const PixelSize& output, int framesPerSecond);

}  // namespace zentrabo
