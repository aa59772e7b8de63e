#include "screenstream/make_video_encoder.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/diagnostic_log.hpp"
#include "platform/text/string_enum.hpp"
#include "platform/dispatch/thread_name.hpp"
#include "platform/media/media_error.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_video_screen_encoder.hpp"
#include "screenstream/video_quality.hpp"

namespace zentrabo {
namespace {

// What the codec's own threads are called: they are started while the
// encoder opens and take the opening thread's name.
constexpr std::string_view codecThreadName = "zb-codec";

using Codec = RemoteScreenStreamVideoCodec;

std::vector<Codec> candidateCodecs(const RemoteScreenStreamRequest& request) {
    if (request.preferredVideoCodec == Codec::hevc) return {Codec::hevc, Codec::h264};
    return {Codec::h264};
}

platform::VideoCompressionCodec compressionCodec(Codec codec) {
    return codec == Codec::hevc ? platform::VideoCompressionCodec::hevc : platform::VideoCompressionCodec::h264;
}

}  // namespace

std::int64_t clampedStreamBitrate(const RemoteScreenStreamRequest& request) {
    if (!request.bitrate) return defaultStreamBitrate;
    return std::clamp(*request.bitrate, minimumStreamBitrate, maximumStreamBitrate);
}

std::unique_ptr<VideoEncoder> makeVideoEncoder(const RemoteScreenStreamRequest& request, int width, int height,
                                               int framesPerSecond, EncodedFrameHandler onFrame,
                                               const platform::Clock& clock,
                                               const VideoCompressionSessionOpener& openSession) {
    const std::int64_t bitrate = clampedStreamBitrate(request);
    std::optional<RemoteScreenStreamServerError> lastFailure;
    const platform::ScopedThreadName codecThreads(codecThreadName);
    for (const Codec codec : candidateCodecs(request)) {
        const platform::VideoCompressionSettings settings{
            compressionCodec(codec), width, height, framesPerSecond, bitrate, streamVideoQuality(codec, bitrate)};
        try {
            return std::make_unique<RemoteVideoScreenEncoder>(VideoStreamFormat{codec, width, height, framesPerSecond},
                                                              bitrate, openSession(settings), onFrame, clock);
        } catch (const platform::MediaError& error) {
            lastFailure = RemoteScreenStreamServerError::encodingFailed(error.what());
            ZENTRABO_LOG("Screen stream " + std::string(platform::rawValue(codec)) +
                         " encoder unavailable, trying fallback if possible: " + lastFailure->message());
        }
    }
    throw *lastFailure;
}

}  // namespace zentrabo
