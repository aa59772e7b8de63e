// Stream audio through the built binary, short and small (a 320 x 180
// display at 5 frames a second, about 1.2 s of sound): the audio
// configuration comes before the first audio frame, the samples carry the
// scenario's tone, as many of them as the frames' times say, and an
// application window's stream carries that application's tone alone.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using zentrabo::test::runCommand;

constexpr double toneFrequency = 1000;
constexpr double sampleRate = 48000;
constexpr double bufferSeconds = 0.01;

class BinaryAudioTest : public BinaryServerTest {
protected:
    void SetUp() override {
        const auto scenario = home.path() / ".config/zentrabo/virtual-desktop.json";
        std::filesystem::create_directories(scenario.parent_path());
        std::ofstream(scenario) << R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 320, "height": 180}}],
            "applications": [{"name": "Radio", "bundleIdentifier": "com.example.radio", "installed": false,
                              "tone": {"frequency": 1000, "level": 0.5},
                              "windows": [{"title": "Dial", "frame": {"x": 20, "y": 20, "width": 120, "height": 80}}]})"
                                << otherApplications() << "]}";
        startProcess();
        pairDevice(device);
    }

    // More of the scenario's applications, each behind a comma.
    virtual std::string otherApplications() { return ""; }

    static RemoteScreenStreamRequest displayStream(std::optional<std::int64_t> audioChannelCount) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::display;
        options.framesPerSecond = 5;
        options.audioChannelCount = audioChannelCount;
        return options;
    }

    // A stream with sound that stopped reading once 120 audio frames came
    // (or 3 s of real time passed), its frames no longer changing.
    std::unique_ptr<StreamClient> stream(const RemoteScreenStreamRequest& options) {
        auto client = openStream(device, port, serverFingerprint, options);
        client->waitUntil([&] { return client->isClosed() || audioFrames(client->frames()).size() >= 120; },
                          std::chrono::milliseconds(3000));
        EXPECT_FALSE(client->isClosed()) << "the stream ended";
        client->pauseReading();
        // A read already under way may still bring frames.
        for (std::size_t count = 0; count != client->frames().size();) {
            count = client->frames().size();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return client;
    }

    static std::vector<RemoteScreenStreamFrame> audioFrames(const std::vector<RemoteScreenStreamFrame>& frames) {
        std::vector<RemoteScreenStreamFrame> audio;
        for (const auto& frame : frames) {
            if (frame.kind == RemoteScreenStreamFrameKind::audio) audio.push_back(frame);
        }
        return audio;
    }

    // The first channel of interleaved 16-bit little-endian samples.
    static std::vector<std::int16_t> firstChannel(const std::vector<RemoteScreenStreamFrame>& audio,
                                                  std::size_t channels) {
        std::vector<std::int16_t> samples;
        for (const auto& frame : audio) {
            for (std::size_t at = 0; at + 2 * channels <= frame.payload.size(); at += 2 * channels) {
                samples.push_back(static_cast<std::int16_t>(frame.payload[at] | frame.payload[at + 1] << 8));
            }
        }
        return samples;
    }

    // A tone's frequency by its zero crossings, two a cycle.
    static double zeroCrossingFrequency(const std::vector<std::int16_t>& samples) {
        std::size_t crossings = 0;
        for (std::size_t index = 1; index < samples.size(); ++index) {
            crossings += (samples[index - 1] >= 0) != (samples[index] >= 0);
        }
        return static_cast<double>(crossings) / 2 / (static_cast<double>(samples.size()) / sampleRate);
    }

    const TestDevice device;
};

// A second application with a tone of its own, lower and quieter.
class BinaryApplicationAudioTest : public BinaryAudioTest {
protected:
    std::string otherApplications() override {
        return R"(, {"name": "Organ", "bundleIdentifier": "com.example.organ", "installed": false,
                     "tone": {"frequency": 250, "level": 0.3},
                     "windows": [{"title": "Keys", "frame": {"x": 160, "y": 60, "width": 120, "height": 80}}]})";
    }
};

TEST_F(BinaryAudioTest, ADisplayStreamCarriesTheScenariosToneAsPcm) {
    struct Row {
        std::optional<std::int64_t> requested;
        std::int64_t channels;
    };
    for (const auto& row : std::vector<Row>{{std::nullopt, 2}, {1, 1}}) {
        SCOPED_TRACE(row.channels);
        const auto client = stream(displayStream(row.requested));
        const auto frames = client->frames();
        std::size_t configurationAt = frames.size(), firstAudioAt = frames.size();
        for (std::size_t index = frames.size(); index-- > 0;) {
            if (frames[index].kind == RemoteScreenStreamFrameKind::audioConfiguration) configurationAt = index;
            if (frames[index].kind == RemoteScreenStreamFrameKind::audio) firstAudioAt = index;
        }
        ASSERT_LT(configurationAt, firstAudioAt);
        const std::string configurationText = payloadText(frames[configurationAt]);
        EXPECT_NE(configurationText.find(R"("codec":"pcm16LE")"), std::string::npos) << configurationText;
        const auto configuration = decodeRecord<RemoteScreenStreamAudioConfigurationPayload>(configurationText);
        EXPECT_EQ(configuration.sampleRate, sampleRate);
        EXPECT_EQ(configuration.channelCount, row.channels);
        EXPECT_EQ(configuration.bitsPerChannel, 16);
        EXPECT_TRUE(configuration.isInterleaved);

        const auto audio = audioFrames(frames);
        ASSERT_GE(audio.size(), 100u);
        EXPECT_EQ(audio.front().sequenceNumber, 1u);
        EXPECT_EQ(audio.front().presentationTimeNanoseconds, 0u);
        for (std::size_t index = 0; index < audio.size(); ++index) {
            EXPECT_EQ(audio[index].sequenceNumber, index + 1) << "a frame was lost";
        }

        // As many samples as the frames' times cover, within one buffer.
        const double timedSeconds =
            static_cast<double>(audio.back().presentationTimeNanoseconds + audio.back().durationNanoseconds) / 1e9;
        const auto samples = firstChannel(audio, static_cast<std::size_t>(row.channels));
        const double sampledSeconds = static_cast<double>(samples.size()) / sampleRate;
        EXPECT_NEAR(sampledSeconds, timedSeconds, bufferSeconds);

        EXPECT_NEAR(zeroCrossingFrequency(samples), toneFrequency, toneFrequency * 0.02);

        // Another reader of raw PCM agrees on the length.
        const auto path = std::filesystem::temp_directory_path() /
                          ("zentrabo-audio-" + std::to_string(::getpid()) + "-" + std::to_string(row.channels));
        client->writeAudio(path);
        const auto probe = runCommand("ffprobe -v error -f s16le -ar 48000 -ac " + std::to_string(row.channels) +
                                      " -show_entries format=duration -of csv=p=0 '" + path.string() + "'");
        std::filesystem::remove(path);
        EXPECT_EQ(probe.status, 0) << probe.output;
        EXPECT_NEAR(std::atof(probe.output.c_str()), timedSeconds, bufferSeconds) << probe.output;
    }
}

TEST_F(BinaryApplicationAudioTest, AnApplicationWindowStreamCarriesThatApplicationsToneAlone) {
    struct Row {
        std::optional<std::string> application;  // none: the display
        double lowestPeak, highestPeak;          // of full scale
        std::optional<double> frequency;
    };
    const std::vector<Row> rows = {
        {"com.example.radio", 0.49, 0.51, 1000},
        {"com.example.organ", 0.29, 0.31, 250},
        // Both tones, louder than either alone.
        {std::nullopt, 0.6, 0.8, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.application.value_or("display"));
        auto options = displayStream(std::nullopt);
        if (row.application) {
            options.mode = RemoteScreenStreamMode::applicationWindow;
            options.applicationBundleIdentifier = row.application;
        }
        const auto client = stream(options);
        const auto audio = audioFrames(client->frames());
        ASSERT_GE(audio.size(), 100u);
        EXPECT_EQ(audio.front().sequenceNumber, 1u);
        EXPECT_EQ(audio.front().presentationTimeNanoseconds, 0u);
        const auto samples = firstChannel(audio, 2);
        int peak = 0;
        for (const auto sample : samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
        EXPECT_GE(peak / 32767.0, row.lowestPeak);
        EXPECT_LE(peak / 32767.0, row.highestPeak);
        if (row.frequency) {
            EXPECT_NEAR(zeroCrossingFrequency(samples), *row.frequency, *row.frequency * 0.02);
        }
    }
}

}  // namespace
}  // namespace zentrabo::testing
