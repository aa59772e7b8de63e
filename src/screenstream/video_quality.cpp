#include "screenstream/video_quality.hpp"

namespace zentrabo {
namespace {

constexpr std::int64_t highBitrate = 20'000'000;

}  // namespace

double streamVideoQuality(RemoteScreenStreamVideoCodec codec, std::int64_t bitrate) {
    const bool high = bitrate >= highBitrate;
    if (codec == RemoteScreenStreamVideoCodec::hevc) return high ? 0.93 : 0.86;
    return high ? 0.95 : 0.82;
}

}  // namespace zentrabo
