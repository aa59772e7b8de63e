#include "platform/desktop/stream_configuration_check.hpp"

#include <cmath>

namespace zentrabo::platform {

namespace {

constexpr std::int32_t maximumQueueDepth = 16;
constexpr std::int32_t minimumSampleRate = 8000;
constexpr std::int32_t maximumSampleRate = 192000;
constexpr std::int32_t maximumChannelCount = 2;

bool sampleRateIsValid(std::int32_t rate) { return rate >= minimumSampleRate && rate <= maximumSampleRate; }

}  // namespace

std::optional<ScreenCaptureError> streamConfigurationProblem(const StreamConfiguration& configuration,
                                                             std::int64_t maximumFrameSide) {
    if (configuration.width < 1 || configuration.height < 1 || configuration.width > maximumFrameSide ||
        configuration.height > maximumFrameSide) {
        return ScreenCaptureError("The stream's frame size is not valid.");
    }
    if (configuration.queueDepth < 1 || configuration.queueDepth > maximumQueueDepth) {
        return ScreenCaptureError("The stream's queue depth is not valid.");
    }
    const double interval = configuration.minimumFrameInterval.seconds();
    if (!(interval > 0) || !std::isfinite(interval)) {
        return ScreenCaptureError("The stream's frame interval is not valid.");
    }
    if (configuration.capturesAudio &&
        (!sampleRateIsValid(configuration.sampleRate) || configuration.channelCount < 1 ||
         configuration.channelCount > maximumChannelCount)) {
        return ScreenCaptureError("The stream's audio format is not valid.");
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
