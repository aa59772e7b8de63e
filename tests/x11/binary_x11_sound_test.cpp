// The sound of the tests' session (its PulseAudio server with a null
// output) in screen streams of the built binary (--desktop x11). Each test
// application plays a tone of its own from its own process, and a windowless
// player a third; the streams' PCM is searched for each tone's frequency.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/device_request.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

constexpr double sampleRate = 48000;
// Audio frames are 10 ms each.
constexpr std::size_t framesPerSecond = 100;
// A tone plays at 0.3 of full scale; heard is well above silence and well
// below it, absent is near silence.
constexpr double heardLevel = 0.15;
constexpr double absentLevel = 0.02;

const std::string toneScript = ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/tone.py";

// The windowless player (tone.py) as a child of the test, ended with it.
class TonePlayer {
public:
    explicit TonePlayer(double frequency)
        : pid_(spawnProgram({"/usr/bin/python3", "-B", toneScript, std::to_string(frequency)})) {}
    ~TonePlayer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

private:
    pid_t pid_ = -1;
};

std::vector<RemoteScreenStreamFrame> framesOfKind(const std::vector<RemoteScreenStreamFrame>& frames,
                                                  RemoteScreenStreamFrameKind kind) {
    std::vector<RemoteScreenStreamFrame> found;
    for (const auto& frame : frames) {
        if (frame.kind == kind) found.push_back(frame);
    }
    return found;
}

// The first channel of audio frames [first, end), as -1 ... 1.
std::vector<double> firstChannel(const std::vector<RemoteScreenStreamFrame>& audio, std::size_t first, std::size_t end,
                                 std::size_t channels) {
    std::vector<double> samples;
    for (std::size_t index = first; index < end && index < audio.size(); ++index) {
        const auto& payload = audio[index].payload;
        for (std::size_t at = 0; at + 2 * channels <= payload.size(); at += 2 * channels) {
            samples.push_back(static_cast<std::int16_t>(payload[at] | payload[at + 1] << 8) / 32768.0);
        }
    }
    return samples;
}

// The amplitude of one frequency in the samples (Goertzel).
double toneLevel(const std::vector<double>& samples, double frequency) {
    if (samples.empty()) return 0;
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / sampleRate);
    double previous = 0, beforePrevious = 0;
    for (const double sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(samples.size());
}

// The median of the tone's level over 50 ms windows (a whole number of
// cycles of every frequency used here), so one glitch does not decide.
double steadyToneLevel(const std::vector<double>& samples, double frequency) {
    constexpr std::size_t window = 2400;
    std::vector<double> levels;
    for (std::size_t at = 0; at + window <= samples.size(); at += window) {
        levels.push_back(toneLevel({samples.begin() + at, samples.begin() + at + window}, frequency));
    }
    if (levels.empty()) return 0;
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

class BinaryX11Sound : public BinaryX11Test {
protected:
    // An application-window stream asks the application to reopen, which
    // starts an instance of its installed entry (silent); it goes with the test.
    InstalledApplicationsGuard installed{{kInstalledTestApp}};

    // A small, slow H.264 stream with sound.
    static RemoteScreenStreamRequest soundStream(RemoteScreenStreamMode mode) {
        RemoteScreenStreamRequest options;
        options.mode = mode;
        options.framesPerSecond = 5;
        options.maximumPixelDimension = 480;
        options.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
        return options;
    }

    std::unique_ptr<StreamClient> open(const RemoteScreenStreamRequest& options) {
        return openStream(phone, port, serverFingerprint, options);
    }

    // Waits until the stream has sent `count` audio frames (at most 10 s).
    std::vector<RemoteScreenStreamFrame> audioUntil(StreamClient& client, std::size_t count) {
        client.waitUntil(
            [&] {
                return client.isClosed() ||
                       framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio).size() >= count;
            },
            std::chrono::seconds(10));
        EXPECT_FALSE(client.isClosed()) << "the stream ended: " << client.undecoded() << "\n"
                                        << lastError(client) << process->errorText();
        return framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio);
    }

    // The error frame's text, when the stream sent one.
    static std::string lastError(const StreamClient& client) {
        const auto errors = framesOfKind(client.frames(), RemoteScreenStreamFrameKind::error);
        return errors.empty() ? "" : payloadText(errors.back());
    }

    // The channel count the stream announced for its sound; 0 for none.
    static std::int64_t announcedChannels(const StreamClient& client) {
        const auto configurations = framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audioConfiguration);
        if (configurations.empty()) return 0;
        const auto payload =
            decodeRecord<RemoteScreenStreamAudioConfigurationPayload>(payloadText(configurations.front()));
        EXPECT_EQ(payload.sampleRate, sampleRate);
        return payload.channelCount;
    }

    static void waitForTone(TestApplication& application) {
        ASSERT_TRUE(application.reports().waitFor("tone")) << "the application's tone did not start";
    }
};

TEST_F(BinaryX11Sound, StreamsCarryTheSoundOfWhatTheyShow) {
    constexpr double first = 440, second = 1000, windowless = 2500;
    TestApplication firstApplication(
        {{{"Radio", 320, 240, {{2100, 300}}, {}, {}}}, std::string(kTestApplicationId), {"--tone", "440"}});
    TestApplication secondApplication(
        {{{"Organ", 320, 240, {{2600, 900}}, {}, {}}}, std::string(kSecondTestApplicationId), {"--tone", "1000"}});
    TonePlayer player(windowless);
    ASSERT_TRUE(waitForMapped(firstApplication, "Radio"));
    ASSERT_TRUE(waitForMapped(secondApplication, "Organ"));
    waitForTone(firstApplication);
    waitForTone(secondApplication);
    // The windowless player has no report; its stream shows on the server.
    ASSERT_TRUE(eventually([] {
        const std::string inputs = witnessOutput("pactl list short sink-inputs");
        return std::count(inputs.begin(), inputs.end(), '\n') >= 3;
    })) << "the windowless player's tone did not start";

    struct Row {
        const char* what;
        RemoteScreenStreamMode mode;
        std::optional<std::int64_t> requestedChannels;
        std::int64_t channels;
        std::vector<double> heard, absent;
    };
    const Row rows[] = {
        {"a display, stereo", RemoteScreenStreamMode::display, std::nullopt, 2, {first, second, windowless}, {1700}},
        {"a display, mono", RemoteScreenStreamMode::display, 1, 1, {first, second, windowless}, {1700}},
        {"the first application's window",
         RemoteScreenStreamMode::applicationWindow,
         std::nullopt,
         2,
         {first},
         {second, windowless}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto options = soundStream(row.mode);
        options.audioChannelCount = row.requestedChannels;
        if (row.mode == RemoteScreenStreamMode::applicationWindow) {
            options.applicationBundleIdentifier = desktopID(kInstalledTestApp);
        }
        auto client = open(options);
        // A second and a half; the last second is analysed.
        const auto audio = audioUntil(*client, 150);
        ASSERT_GE(audio.size(), 150u);
        EXPECT_EQ(announcedChannels(*client), row.channels);
        EXPECT_EQ(audio[149].payload.size(), 480 * 2 * static_cast<std::size_t>(row.channels));
        const auto samples = firstChannel(audio, 50, 150, static_cast<std::size_t>(row.channels));
        for (const double frequency : row.heard) {
            EXPECT_GT(steadyToneLevel(samples, frequency), heardLevel) << frequency << " Hz";
        }
        for (const double frequency : row.absent) {
            EXPECT_LT(steadyToneLevel(samples, frequency), absentLevel) << frequency << " Hz";
        }
    }
}

// Nothing else plays, so the output is idle when the tone begins.
TEST_F(BinaryX11Sound, StreamsHearAnApplicationThatStartsPlayingLater) {
    constexpr double tone = 700;
    struct Row {
        const char* what;
        RemoteScreenStreamMode mode;
    };
    const Row rows[] = {
        {"a display", RemoteScreenStreamMode::display},
        {"the application's window", RemoteScreenStreamMode::applicationWindow},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestApplication application({{{"Late", 320, 240, {{2300, 500}}, {}, {}}},
                                     std::string(kTestApplicationId),
                                     {"--tone", "700", "--tone-after", "3.5"}});
        ASSERT_TRUE(waitForMapped(application, "Late"));
        auto options = soundStream(row.mode);
        if (row.mode == RemoteScreenStreamMode::applicationWindow) {
            options.applicationBundleIdentifier = desktopID(kInstalledTestApp);
        }
        auto client = open(options);
        const auto before = audioUntil(*client, 30);
        ASSERT_GE(before.size(), 30u);
        ASSERT_TRUE(application.reports().waitFor("tone", {}, std::chrono::milliseconds(0)) == std::nullopt)
            << "the tone started before the stream did; nothing was shown";
        waitForTone(application);
        const std::size_t atTone = framesOfKind(client->frames(), RemoteScreenStreamFrameKind::audio).size();
        const auto after = audioUntil(*client, atTone + 80);
        ASSERT_GE(after.size(), atTone + 80);
        EXPECT_LT(steadyToneLevel(firstChannel(after, 0, 30, 2), tone), absentLevel) << "heard before it played";
        EXPECT_GT(steadyToneLevel(firstChannel(after, atTone + 30, atTone + 80, 2), tone), heardLevel);
    }
}

class BinaryX11WithoutSoundServer : public BinaryX11Sound {
protected:
    void SetUp() override {
        serverEnvironment = {"PULSE_SERVER=unix:/nonexistent/pulse/native"};
        BinaryX11Sound::SetUp();
    }
};

TEST_F(BinaryX11WithoutSoundServer, AStreamRunsOnWithoutSoundAndTheLogSaysWhyOnce) {
    auto client = open(soundStream(RemoteScreenStreamMode::display));
    ASSERT_TRUE(client->waitUntil(
        [&] {
            return client->isClosed() ||
                   framesOfKind(client->frames(), RemoteScreenStreamFrameKind::video).size() >= 10;
        },
        std::chrono::seconds(10)));
    EXPECT_FALSE(client->isClosed()) << client->undecoded();
    EXPECT_EQ(announcedChannels(*client), 0);
    EXPECT_TRUE(framesOfKind(client->frames(), RemoteScreenStreamFrameKind::audio).empty());
    EXPECT_EQ(home.logCount("Screen stream audio capture failed; retrying video-only: No sound server answers"), 1u)
        << home.logText();
}

}  // namespace
}  // namespace zentrabo::testing
