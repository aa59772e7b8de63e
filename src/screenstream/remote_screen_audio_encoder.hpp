#pragma once
// The stream's audio: each captured buffer becomes one audio frame of
// interleaved 16-bit little-endian PCM at the capture's own rate, behind an
// audio configuration frame whenever that output format is new to the
// device. Audio frames are numbered and timed on their own, apart from
// video. Every member runs on the session's encoder queue: the converter
// must never be used from two threads at once.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "model/records/stream_control_payloads.hpp"
#include "platform/media/pcm16_audio_converter.hpp"
#include "platform/media/pcm_audio.hpp"
#include "screenstream/audio_encoder.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo {

class RemoteScreenAudioEncoder final : public AudioEncoder {
public:
    // What the converter was built for; any difference builds a new one.
    struct AudioFormatSignature {
        double sampleRate = 0;
        std::uint32_t channelCount = 0;
        platform::PcmSampleFormat commonFormat = platform::PcmSampleFormat::float32;
        bool isInterleaved = false;
        std::uint32_t outputChannelCount = 0;

        bool operator==(const AudioFormatSignature&) const = default;
    };

    // requestedChannelCount is the stream's audio channel count (1 or 2);
    // the output never has more channels than the input.
    RemoteScreenAudioEncoder(int requestedChannelCount, EncodedFrameHandler onFrame);

    // Sends zero, one or two frames. A buffer without frames, or whose planes
    // do not hold them, is dropped silently. Throws
    // RemoteScreenStreamServerError::encodingFailed when no output format or
    // converter can be made for the buffer's format (the encoder then stays
    // as it was), and the converter's platform::MediaError when converting
    // fails.
    void encode(const platform::CapturedAudioSample& buffer) override;

    // Back to the state before the first buffer: no converter, formats or
    // first time; the sequence numbers go on.
    void reset() override;

private:
    // The output format for the input, rebuilding the converter when the
    // signature changes.
    const platform::PcmAudioFormat& configure(const platform::PcmAudioFormat& input);
    void sendConfigurationIfChanged(const platform::PcmAudioFormat& output);
    std::chrono::nanoseconds timeSinceFirstBuffer(std::chrono::nanoseconds presentationTime);

    int requestedChannelCount_;
    EncodedFrameHandler onFrame_;
    std::unique_ptr<platform::Pcm16AudioConverter> converter_;
    std::optional<AudioFormatSignature> inputSignature_;
    std::optional<platform::PcmAudioFormat> outputFormat_;
    std::optional<RemoteScreenStreamAudioConfigurationPayload> lastConfiguration_;
    std::optional<std::chrono::nanoseconds> firstPresentationTime_;
    std::uint32_t nextFrameSequenceNumber_;
};

}  // namespace zentrabo
