#include "screenstream/capture_configuration.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo {

namespace {

constexpr std::int64_t smallestMaximumPixelDimension = 480;
constexpr std::int64_t largestMaximumPixelDimension = 5120;
constexpr std::int64_t slowestFrameRate = 5;
constexpr std::int64_t fastestFrameRate = 60;
constexpr int defaultFrameRate = 24;
constexpr int defaultAudioChannelCount = 2;
constexpr std::int32_t audioSampleRate = 48000;

}  // namespace

std::int64_t captureMaximumPixelDimension(const RemoteScreenStreamRequest& request, const PixelSize& source) {
    if (request.maximumPixelDimension && *request.maximumPixelDimension > 0) {
        return std::clamp(*request.maximumPixelDimension, smallestMaximumPixelDimension, largestMaximumPixelDimension);
    }
    return std::max(source.width, source.height);
}

std::int64_t streamMaximumDimension(const RemoteScreenStreamRequest& request, const PixelSize& source) {
    const std::int64_t maximum = captureMaximumPixelDimension(request, source);
    if (request.mode == RemoteScreenStreamMode::display) return maximum;
    return std::max({maximum, source.width, source.height});
}

PixelSize fittedOutputSize(const PixelSize& source, std::int64_t maximum) {
    if (source.width < 1 || source.height < 1) return {maximum, maximum};
    const double scale =
        std::min(static_cast<double>(maximum) / static_cast<double>(std::max(source.width, source.height)), 1.0);
    return {evenPixelSide(static_cast<double>(source.width) * scale),
            evenPixelSide(static_cast<double>(source.height) * scale)};
}

PixelSize captureOutputSize(const RemoteScreenStreamRequest& request, const PixelSize& source) {
    if (request.renderSizingMode == RemoteScreenStreamRenderSizingMode::clientNative &&
        request.clientRenderPixelWidth && request.clientRenderPixelHeight) {
        if (auto target = clientNativeTargetSize(static_cast<double>(*request.clientRenderPixelWidth),
                                                 static_cast<double>(*request.clientRenderPixelHeight))) {
            return *target;
        }
    }
    return fittedOutputSize(source, captureMaximumPixelDimension(request, source));
}

int captureFramesPerSecond(const RemoteScreenStreamRequest& request) {
    if (!request.framesPerSecond) return defaultFrameRate;
    return static_cast<int>(std::clamp(*request.framesPerSecond, slowestFrameRate, fastestFrameRate));
}

int captureAudioChannelCount(const RemoteScreenStreamRequest& request) {
    if (!request.audioChannelCount) return defaultAudioChannelCount;
    return static_cast<int>(std::clamp<std::int64_t>(*request.audioChannelCount, 1, 2));
}

platform::StreamConfiguration captureConfiguration(const RemoteScreenStreamRequest& request, const PixelSize& source,
                                                   const PixelSize& output, int framesPerSecond) {
    platform::StreamConfiguration configuration;
    configuration.width = output.width;
    configuration.height = output.height;
    configuration.scalesToFit = output != source;
    configuration.preservesAspectRatio = configuration.scalesToFit;
    configuration.queueDepth = captureQueueDepth;
    configuration.minimumFrameInterval = {1, framesPerSecond};
    configuration.showsCursor = request.showsCursor.value_or(true);
    configuration.capturesAudio = request.capturesAudio.value_or(true);
    configuration.sampleRate = audioSampleRate;
    configuration.channelCount = captureAudioChannelCount(request);
    configuration.excludesCurrentProcessAudio = true;
    configuration.pixelFormat = platform::CapturePixelFormat::encoderYuv420;
    return configuration;
}

}  // namespace zentrabo
