#include "platform/media/pcm16_audio_converter.hpp"

#include <bit>
#include <cerrno>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace zentrabo::platform {
namespace {

// The library writes samples in the host's order; the stream promises
// little-endian.
static_assert(std::endian::native == std::endian::little, "16-bit samples are sent as the host stores them");

constexpr int outputBytesPerSample = 2;
// Room beyond the input's own frame count for what the library may still
// hold from an earlier call.
constexpr int extraOutputFrames = 16;

AVSampleFormat libraryFormat(PcmSampleFormat format, bool isInterleaved) {
    switch (format) {
    case PcmSampleFormat::int16:
        return isInterleaved ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S16P;
    case PcmSampleFormat::int32:
        return isInterleaved ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S32P;
    case PcmSampleFormat::float32:
        return isInterleaved ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_FLTP;
    case PcmSampleFormat::float64:
        return isInterleaved ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_DBLP;
    }
    return AV_SAMPLE_FMT_NONE;
}

// The library takes whole hertz only.
int wholeSampleRate(double sampleRate) {
    if (!(sampleRate >= 1 && sampleRate <= std::numeric_limits<int>::max()) || sampleRate != std::floor(sampleRate)) {
        throw MediaError(AVERROR(EINVAL));
    }
    return static_cast<int>(sampleRate);
}

struct ChannelLayout {
    AVChannelLayout layout{};
    explicit ChannelLayout(int channelCount) { av_channel_layout_default(&layout, channelCount); }
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
};

SwrContextPtr openContext(const PcmAudioFormat& input, int outputChannelCount) {
    const int rate = wholeSampleRate(input.sampleRate);
    if (input.channelCount == 0 || input.channelCount > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
        outputChannelCount < 1) {
        throw MediaError(AVERROR(EINVAL));
    }
    ChannelLayout inputLayout(static_cast<int>(input.channelCount));
    ChannelLayout outputLayout(outputChannelCount);
    SwrContext* context = nullptr;
    throwIfMediaError(swr_alloc_set_opts2(&context, &outputLayout.layout, AV_SAMPLE_FMT_S16, rate, &inputLayout.layout,
                                          libraryFormat(input.sampleFormat, input.isInterleaved), rate, 0, nullptr));
    SwrContextPtr owned(context);
    throwIfMediaError(swr_init(owned.get()));
    return owned;
}

}  // namespace

Pcm16AudioConverter::Pcm16AudioConverter(const PcmAudioFormat& input, int outputChannelCount)
    : input_(input), outputChannelCount_(outputChannelCount), context_(openContext(input, outputChannelCount)) {}

std::span<const std::uint8_t> Pcm16AudioConverter::convert(const PcmAudioBuffer& buffer) {
    if (buffer.format != input_ || !buffer.holdsItsFrames()) {
        throw std::invalid_argument("audio of another format, or planes shorter than its frames");
    }
    if (buffer.frameCount > std::numeric_limits<int>::max() - extraOutputFrames) {
        throw std::invalid_argument("more audio frames than one conversion takes");
    }
    const int inputFrames = static_cast<int>(buffer.frameCount);
    // Input and output share the rate, so the input's frames fit.
    const int capacity = inputFrames + extraOutputFrames;
    const std::size_t bytesPerFrame = static_cast<std::size_t>(outputChannelCount_) * outputBytesPerSample;
    output_.resize(static_cast<std::size_t>(capacity) * bytesPerFrame);

    inputPlanes_.clear();
    for (const auto& plane : buffer.planes) inputPlanes_.push_back(plane.data());
    std::uint8_t* outputPlane = output_.data();
    const int converted = swr_convert(context_.get(), &outputPlane, capacity, inputPlanes_.data(), inputFrames);
    throwIfMediaError(converted);
    return {output_.data(), static_cast<std::size_t>(converted) * bytesPerFrame};
}

}  // namespace zentrabo::platform
