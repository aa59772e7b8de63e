#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "screenstream/remote_screen_audio_encoder.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "video_stream_support.hpp"

namespace zentrabo {
namespace {

using Kind = RemoteScreenStreamFrameKind;
using platform::PcmSampleFormat;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr std::int64_t tenMilliseconds = 10'000'000;

template <typename Sample>
std::vector<std::uint8_t> bytesOf(const std::vector<Sample>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * sizeof(Sample));
    if (!bytes.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// Each channel holds one value throughout; planar or interleaved.
template <typename Sample>
platform::CapturedAudioSample steadyBuffer(PcmSampleFormat format, bool interleaved, double sampleRate,
                                           const std::vector<Sample>& channelValues, std::int64_t frames,
                                           nanoseconds time = nanoseconds(0)) {
    platform::CapturedAudioSample buffer;
    buffer.audio.format = {sampleRate, static_cast<std::uint32_t>(channelValues.size()), format, interleaved};
    buffer.audio.frameCount = frames;
    buffer.presentationTime = time;
    if (interleaved) {
        std::vector<Sample> samples;
        for (std::int64_t frame = 0; frame < frames; ++frame) {
            samples.insert(samples.end(), channelValues.begin(), channelValues.end());
        }
        buffer.audio.planes.push_back(bytesOf(samples));
    } else {
        for (const Sample value : channelValues) {
            buffer.audio.planes.push_back(bytesOf(std::vector<Sample>(static_cast<std::size_t>(frames), value)));
        }
    }
    return buffer;
}

// Planar stereo float as capture delivers it: 10 ms at 48 kHz by default.
platform::CapturedAudioSample stereoFloat(nanoseconds time = nanoseconds(0), double sampleRate = 48000,
                                          std::int64_t frames = 480) {
    return steadyBuffer<float>(PcmSampleFormat::float32, false, sampleRate, {0.5F, -0.25F}, frames, time);
}

// The payload read as little-endian 16-bit samples, whatever the host's order.
std::vector<int> samplesOf(const RemoteScreenStreamFrame& frame) {
    std::vector<int> samples;
    for (std::size_t at = 0; at + 1 < frame.payload.size(); at += 2) {
        samples.push_back(static_cast<std::int16_t>(frame.payload[at] | frame.payload[at + 1] << 8));
    }
    return samples;
}

RemoteScreenStreamAudioConfigurationPayload configurationOf(const RemoteScreenStreamFrame& frame) {
    return decodeRecord<RemoteScreenStreamAudioConfigurationPayload>(
        std::string(frame.payload.begin(), frame.payload.end()));
}

std::vector<Kind> kindsOf(const std::vector<RemoteScreenStreamFrame>& frames) {
    std::vector<Kind> kinds;
    for (const auto& frame : frames) kinds.push_back(frame.kind);
    return kinds;
}

struct FormatCase {
    const char* name;
    platform::CapturedAudioSample input;
    int requestedChannels;
    double expectedRate;
    // One frame of the output: each channel's sample.
    std::vector<int> expectedFrame;
};

TEST(RemoteScreenAudioEncoder, ConvertsEachInputToInterleaved16BitAtItsOwnRate) {
    const FormatCase cases[] = {
        {"planar stereo float", stereoFloat(), 2, 48000, {16384, -8192}},
        {"planar stereo float mixed down to mono", stereoFloat(), 1, 48000, {4096}},
        {"mono asked for two channels stays mono",
         steadyBuffer<std::int16_t>(PcmSampleFormat::int16, true, 48000, {1234}, 480),
         2,
         48000,
         {1234}},
        {"never more channels than the input",
         steadyBuffer<std::int16_t>(PcmSampleFormat::int16, true, 48000, {-300, 300}, 480),
         5,
         48000,
         {-300, 300}},
        {"44.1 kHz planar double",
         steadyBuffer<double>(PcmSampleFormat::float64, false, 44100, {-1.0, 0.25}, 441),
         2,
         44100,
         {-32768, 8192}},
        {"interleaved 32-bit integers",
         steadyBuffer<std::int32_t>(PcmSampleFormat::int32, true, 48000, {1 << 30}, 480),
         2,
         48000,
         {16384}},
    };
    for (const FormatCase& test : cases) {
        SCOPED_TRACE(test.name);
        test::FrameRecorder recorder;
        RemoteScreenAudioEncoder encoder(test.requestedChannels, recorder.handler());
        encoder.encode(test.input);

        ASSERT_EQ(kindsOf(recorder.frames), (std::vector<Kind>{Kind::audioConfiguration, Kind::audio}));
        const auto configuration = configurationOf(recorder.frames[0]);
        EXPECT_EQ(configuration.codec, RemoteScreenStreamAudioCodec::pcm16LE);
        EXPECT_EQ(configuration.sampleRate, test.expectedRate);
        EXPECT_EQ(configuration.channelCount, static_cast<std::int64_t>(test.expectedFrame.size()));
        EXPECT_EQ(configuration.bitsPerChannel, 16);
        EXPECT_TRUE(configuration.isInterleaved);

        const RemoteScreenStreamFrame& audio = recorder.frames[1];
        EXPECT_EQ(audio.sequenceNumber, 1U);
        EXPECT_EQ(audio.presentationTimeNanoseconds, 0U);
        EXPECT_EQ(audio.durationNanoseconds, static_cast<std::uint64_t>(tenMilliseconds));
        std::vector<int> expected;
        for (std::int64_t frame = 0; frame < test.input.audio.frameCount; ++frame) {
            expected.insert(expected.end(), test.expectedFrame.begin(), test.expectedFrame.end());
        }
        EXPECT_EQ(samplesOf(audio), expected);
    }
}

TEST(RemoteScreenAudioEncoder, NumbersAndTimesItsFramesAndDescribesEachNewFormatOnce) {
    test::FrameRecorder recorder;
    RemoteScreenAudioEncoder encoder(2, recorder.handler());
    const nanoseconds start = milliseconds(7'000);
    encoder.encode(stereoFloat(start));
    encoder.encode(stereoFloat(start + milliseconds(10)));
    encoder.encode(stereoFloat(start + milliseconds(20), 44100));
    encoder.encode(stereoFloat(start + milliseconds(30), 44100));
    encoder.reset();
    encoder.encode(stereoFloat(start + milliseconds(900), 44100));

    const auto& frames = recorder.frames;
    ASSERT_EQ(kindsOf(frames),
              (std::vector<Kind>{Kind::audioConfiguration, Kind::audio, Kind::audio, Kind::audioConfiguration,
                                 Kind::audio, Kind::audio, Kind::audioConfiguration, Kind::audio}));
    EXPECT_EQ(configurationOf(frames[0]).sampleRate, 48000);
    EXPECT_EQ(configurationOf(frames[3]).sampleRate, 44100);
    EXPECT_EQ(configurationOf(frames[6]).sampleRate, 44100);

    struct Expected {
        std::size_t index;
        std::uint32_t sequenceNumber;
        std::int64_t time;
    };
    // After a reset the counter goes on and times start again.
    const Expected expected[] = {
        {1, 1, 0}, {2, 2, tenMilliseconds}, {4, 3, 2 * tenMilliseconds}, {5, 4, 3 * tenMilliseconds}, {7, 5, 0}};
    for (const Expected& audio : expected) {
        SCOPED_TRACE(audio.index);
        EXPECT_EQ(frames[audio.index].sequenceNumber, audio.sequenceNumber);
        EXPECT_EQ(frames[audio.index].presentationTimeNanoseconds, static_cast<std::uint64_t>(audio.time));
        EXPECT_EQ(frames[audio.index].flags, 0);
    }
    for (const std::size_t index : {0, 3, 6}) {
        EXPECT_EQ(std::tie(frames[index].sequenceNumber, frames[index].presentationTimeNanoseconds),
                  std::tuple(0U, 0U));
    }
}

platform::CapturedAudioSample withFrameCount(platform::CapturedAudioSample buffer, std::int64_t frames) {
    buffer.audio.frameCount = frames;
    return buffer;
}

platform::CapturedAudioSample withoutLastPlane(platform::CapturedAudioSample buffer) {
    buffer.audio.planes.pop_back();
    return buffer;
}

platform::CapturedAudioSample withShortPlane(platform::CapturedAudioSample buffer) {
    buffer.audio.planes.back().pop_back();
    return buffer;
}

struct RefusedCase {
    const char* name;
    platform::CapturedAudioSample input;
    std::optional<std::string> expectedError;  // none: dropped silently
};

TEST(RemoteScreenAudioEncoder, BuffersItCannotEncodeLeaveTheStreamAsItWas) {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    const RefusedCase cases[] = {
        {"no frames", withFrameCount(stereoFloat(), 0), std::nullopt},
        {"a frame count the planes cannot hold", withFrameCount(stereoFloat(), 1LL << 62), std::nullopt},
        {"a missing plane", withoutLastPlane(stereoFloat()), std::nullopt},
        {"a plane one byte short", withShortPlane(stereoFloat()), std::nullopt},
        {"a rate of zero", stereoFloat(milliseconds(10), 0),
         "Screen streaming encoder failed: Audio output format is unavailable."},
        {"a rate that is not a number", stereoFloat(milliseconds(10), notANumber),
         "Screen streaming encoder failed: Audio output format is unavailable."},
        {"a fractional rate", stereoFloat(milliseconds(10), 44100.5),
         "Screen streaming encoder failed: Audio converter is unavailable."},
        {"no channels", steadyBuffer<float>(PcmSampleFormat::float32, true, 48000, {}, 480),
         "Screen streaming encoder failed: Audio converter is unavailable."},
    };
    for (const RefusedCase& test : cases) {
        SCOPED_TRACE(test.name);
        test::FrameRecorder recorder;
        RemoteScreenAudioEncoder encoder(2, recorder.handler());
        encoder.encode(stereoFloat());
        try {
            encoder.encode(test.input);
            EXPECT_FALSE(test.expectedError) << "no error";
        } catch (const RemoteScreenStreamServerError& error) {
            EXPECT_EQ(error.errorCase(), RemoteScreenStreamServerError::Case::encodingFailed);
            EXPECT_EQ(std::optional<std::string>(error.message()), test.expectedError);
        }
        // The converter and the format the device knows stay; no number was used.
        encoder.encode(stereoFloat(milliseconds(20)));
        ASSERT_EQ(kindsOf(recorder.frames), (std::vector<Kind>{Kind::audioConfiguration, Kind::audio, Kind::audio}));
        EXPECT_EQ(recorder.frames[2].sequenceNumber, 2U);
    }
}

}  // namespace
}  // namespace zentrabo
