#include "screenstream/remote_screen_audio_encoder.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/media/media_error.hpp"
#include "screenstream/json_frame.hpp"
#include "screenstream/media_sequence_number.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {
namespace {

using platform::PcmAudioFormat;

constexpr std::int64_t outputBitsPerChannel = 16;
constexpr double nanosecondsPerSecond = 1e9;

std::uint32_t outputChannelCount(const PcmAudioFormat& input, int requestedChannelCount) {
    // An input that reports no channels counts as one.
    const std::uint32_t inputChannels = std::max<std::uint32_t>(input.channelCount, 1);
    return std::min(static_cast<std::uint32_t>(std::max(requestedChannelCount, 1)), inputChannels);
}

RemoteScreenStreamAudioConfigurationPayload configurationOf(const PcmAudioFormat& output) {
    return {.codec = RemoteScreenStreamAudioCodec::pcm16LE,
            .sampleRate = output.sampleRate,
            .channelCount = output.channelCount,
            .bitsPerChannel = outputBitsPerChannel,
            .isInterleaved = true};
}

std::uint64_t durationNanoseconds(std::int64_t frameCount, double sampleRate) {
    return static_cast<std::uint64_t>(
        std::llround(static_cast<double>(frameCount) * nanosecondsPerSecond / sampleRate));
}

}  // namespace

RemoteScreenAudioEncoder::RemoteScreenAudioEncoder(int requestedChannelCount, EncodedFrameHandler onFrame)
    : requestedChannelCount_(requestedChannelCount),
      onFrame_(std::move(onFrame)),
      nextFrameSequenceNumber_(firstMediaSequenceNumber) {}

void RemoteScreenAudioEncoder::encode(const platform::CapturedAudioSample& buffer) {
    const platform::PcmAudioBuffer& audio = buffer.audio;
    if (!audio.holdsItsFrames()) return;
    const PcmAudioFormat output = configure(audio.format);
    const auto samples = converter_->convert(audio);
    if (samples.empty()) return;

    sendConfigurationIfChanged(output);
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::audio;
    frame.sequenceNumber = takeMediaSequenceNumber(nextFrameSequenceNumber_);
    frame.presentationTimeNanoseconds =
        static_cast<std::uint64_t>(timeSinceFirstBuffer(buffer.presentationTime).count());
    frame.durationNanoseconds = durationNanoseconds(audio.frameCount, audio.format.sampleRate);
    frame.payload.assign(samples.begin(), samples.end());
    onFrame_(std::move(frame));
}

const PcmAudioFormat& RemoteScreenAudioEncoder::configure(const PcmAudioFormat& input) {
    const std::uint32_t channels = outputChannelCount(input, requestedChannelCount_);
    if (!std::isfinite(input.sampleRate) || input.sampleRate <= 0) {
        throw RemoteScreenStreamServerError::encodingFailed("Audio output format is unavailable.");
    }
    const PcmAudioFormat output{.sampleRate = input.sampleRate,
                                .channelCount = channels,
                                .sampleFormat = platform::PcmSampleFormat::int16,
                                .isInterleaved = true};
    const AudioFormatSignature signature{input.sampleRate, input.channelCount, input.sampleFormat, input.isInterleaved,
                                         channels};
    // The signature holds the rate and the output channels, so an equal one
    // also means an equal output format.
    if (converter_ && inputSignature_ == signature) return *outputFormat_;

    try {
        converter_ = std::make_unique<platform::Pcm16AudioConverter>(input, static_cast<int>(channels));
    } catch (const platform::MediaError&) {
        throw RemoteScreenStreamServerError::encodingFailed("Audio converter is unavailable.");
    }
    inputSignature_ = signature;
    outputFormat_ = output;
    lastConfiguration_.reset();
    return *outputFormat_;
}

void RemoteScreenAudioEncoder::sendConfigurationIfChanged(const PcmAudioFormat& output) {
    RemoteScreenStreamAudioConfigurationPayload configuration = configurationOf(output);
    if (lastConfiguration_ == configuration) return;
    RemoteScreenStreamFrame frame = jsonFrame(RemoteScreenStreamFrameKind::audioConfiguration, configuration);
    lastConfiguration_ = std::move(configuration);
    onFrame_(std::move(frame));
}

std::chrono::nanoseconds RemoteScreenAudioEncoder::timeSinceFirstBuffer(std::chrono::nanoseconds presentationTime) {
    if (!firstPresentationTime_) firstPresentationTime_ = presentationTime;
    return std::max(presentationTime - *firstPresentationTime_, std::chrono::nanoseconds::zero());
}

void RemoteScreenAudioEncoder::reset() {
    converter_.reset();
    inputSignature_.reset();
    outputFormat_.reset();
    lastConfiguration_.reset();
    firstPresentationTime_.reset();
}

}  // namespace zentrabo
