#include "model/records/stream_records.hpp"

#include <algorithm>

#include "model/halvardine_protocol.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {
namespace {

struct QualityPreset {
    std::int64_t maximumPixelDimension;
    std::int64_t framesPerSecond;
    std::int64_t bitrate;
    bool prefersHEVC;
};

// In the declaration order of RemoteScreenStreamQualityProfile.
constexpr QualityPreset kPresets[] = {
    {0, 24, 12'000'000, true},    // original
    {0, 24, 35'000'000, true},    // retinaText
    {0, 24, 12'000'000, true},    // high
    {960, 18, 1'400'000, false},  // medium
    {720, 12, 800'000, false},    // low
    {540, 8, 500'000, false},     // veryLow
};
static_assert(std::size(kPresets) == platform::StringEnumTraits<RemoteScreenStreamQualityProfile>::rawValues.size());

const QualityPreset& presetOf(RemoteScreenStreamQualityProfile profile) {
    return kPresets[static_cast<std::size_t>(profile)];
}

// Above this a stream needs the high-quality version.
constexpr std::int64_t kLargestStandardPixelDimension = 2560;
constexpr std::int64_t kLargestStandardBitrate = 12'000'000;

}  // namespace

RemoteScreenStreamPresentationMode resolved(RemoteScreenStreamPresentationMode mode) {
    return mode == RemoteScreenStreamPresentationMode::inline_ ? RemoteScreenStreamPresentationMode::fullScreen : mode;
}

std::int64_t maximumPixelDimension(RemoteScreenStreamQualityProfile profile) {
    return presetOf(profile).maximumPixelDimension;
}
std::int64_t framesPerSecond(RemoteScreenStreamQualityProfile profile) { return presetOf(profile).framesPerSecond; }
std::int64_t bitrate(RemoteScreenStreamQualityProfile profile) { return presetOf(profile).bitrate; }
bool prefersHEVC(RemoteScreenStreamQualityProfile profile) { return presetOf(profile).prefersHEVC; }

int RemoteScreenStreamRequest::requiredServerProtocolVersion() const {
    using P = HalvardineProtocol;
    int version =
        mode == RemoteScreenStreamMode::applicationWindow ? P::applicationWindowStreamVersion : P::displayStreamVersion;
    if (maximumPixelDimension) {
        if (*maximumPixelDimension <= 0) {
            version = P::originalSizeStreamVersion;
        } else if (*maximumPixelDimension > kLargestStandardPixelDimension) {
            version = P::highQualityStreamVersion;
        }
    }
    if (version != P::highQualityStreamVersion && bitrate && *bitrate > kLargestStandardBitrate) {
        version = P::highQualityStreamVersion;
    }
    if (mode == RemoteScreenStreamMode::applicationWindow && applicationWindowTitle &&
        !platform::isBlank(*applicationWindowTitle)) {
        version = std::max(version, P::streamWindowSelectionVersion);
    }
    if (capturesAudio.value_or(true)) version = P::streamAudioVersion;
    if (renderSizingMode == RemoteScreenStreamRenderSizingMode::clientNative) {
        return P::clientNativeStreamSizingVersion;
    }
    return version;
}

RemoteScreenStreamRequest RemoteScreenStreamRequest::applyingQualityProfile(
    RemoteScreenStreamQualityProfile profile) const {
    RemoteScreenStreamRequest copy = *this;
    const QualityPreset& preset = presetOf(profile);
    copy.maximumPixelDimension = preset.maximumPixelDimension;
    copy.framesPerSecond = preset.framesPerSecond;
    copy.bitrate = preset.bitrate;
    copy.preferredVideoCodec =
        preset.prefersHEVC ? RemoteScreenStreamVideoCodec::hevc : RemoteScreenStreamVideoCodec::h264;
    return copy;
}

int RemoteScreenStreamLaunch::requiredServerProtocolVersion() const {
    using P = HalvardineProtocol;
    int version = request.requiredServerProtocolVersion();
    if (startInteractionMode) version = std::max(version, P::streamWindowSelectionVersion);
    if (automaticallyFitsWindow.value_or(false) && request.mode != RemoteScreenStreamMode::display) {
        version = std::max(version, P::streamWindowFittingVersion);
    }
    return version;
}

}  // namespace zentrabo
