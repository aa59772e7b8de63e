// Sound from capture streams of the virtual desktop on a manual clock: what
// each filter hears, the 10 ms buffers and their times, the delivered
// formats, and audio that refuses to start or stops with an error.
#include <gmock/gmock.h>

#include <asio/io_context.hpp>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

constexpr double editorTone = 1000;  // left channel alone
constexpr double radioTone = 250;    // both channels

class CaptureAudioTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.application("Editor", "com.example.editor").window("Page", {0, 0, 64, 40}).tone(editorTone, 0.5, 1);
        builder.application("Radio", "com.example.radio").tone(radioTone, 0.25, 2);
        builder.application("Silent", "com.example.silent").window("Quiet", {10, 10, 40, 20});
        builder.display(1, {0, 0, 64, 40}, 1);
        start(builder);
    }

    ProcessID pid(const std::string& bundleIdentifier) { return running(bundleIdentifier)->processIdentifier(); }

    WindowID windowOf(const std::string& bundleIdentifier) {
        const auto windows = desktop->windows().value();
        for (const auto& window : windows) {
            if (window.onScreen && window.ownerPID == pid(bundleIdentifier)) return window.id;
        }
        return 0;
    }

    // Starts a stream of sound alone; the start's error, if any.
    std::optional<std::string> startAudio(ContentFilter filter, std::int32_t channelCount = 2) {
        StreamConfiguration configuration;
        configuration.width = 64;
        configuration.height = 40;
        configuration.capturesAudio = true;
        configuration.channelCount = channelCount;
        stream = desktop->makeCaptureStream(std::move(filter), configuration,
                                            [this](const ScreenCaptureError& e) { stopErrors.push_back(e.what()); });
        stream->addAudioOutput(context.get_executor(),
                               [this](CapturedAudioSample sample) { buffers.push_back(std::move(sample)); });
        std::optional<std::string> error = "no completion";
        stream->startCapture([&error](std::optional<ScreenCaptureError> e) {
            error = e ? std::optional<std::string>(e->what()) : std::nullopt;
        });
        run();
        return error;
    }

    void advance(double seconds) {
        clock.advance(seconds);
        run();
    }

    void run() {
        context.poll();
        context.restart();
    }

    // One channel of every buffer, as numbers in [-1, 1].
    std::vector<double> channel(std::size_t index) const {
        std::vector<double> samples;
        for (const auto& buffer : buffers) {
            const auto& format = buffer.audio.format;
            const std::size_t size = bytesPerSample(format.sampleFormat);
            for (std::int64_t frame = 0; frame < buffer.audio.frameCount; ++frame) {
                const std::uint8_t* at =
                    format.isInterleaved ? buffer.audio.planes[0].data() + (frame * format.channelCount + index) * size
                                         : buffer.audio.planes[index].data() + frame * size;
                samples.push_back(sampleValue(at, format.sampleFormat));
            }
        }
        return samples;
    }

    static double sampleValue(const std::uint8_t* at, PcmSampleFormat format) {
        const auto read = [at]<typename T>(T) {
            T value;
            std::memcpy(&value, at, sizeof value);
            return value;
        };
        switch (format) {
        case PcmSampleFormat::int16:
            return read(std::int16_t{}) / 32767.0;
        case PcmSampleFormat::int32:
            return read(std::int32_t{}) / 2147483647.0;
        case PcmSampleFormat::float32:
            return read(float{});
        case PcmSampleFormat::float64:
            return read(double{});
        }
        return 0;
    }

    // The peak amplitude of one frequency in the samples (a whole number of
    // its cycles long).
    static double amplitudeAt(const std::vector<double>& samples, double frequency, double sampleRate) {
        std::complex<double> sum;
        for (std::size_t n = 0; n < samples.size(); ++n) {
            sum +=
                samples[n] * std::polar(1.0, -2 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate);
        }
        return 2 * std::abs(sum) / static_cast<double>(samples.size());
    }

    asio::io_context context;
    std::shared_ptr<CaptureStream> stream;
    std::vector<CapturedAudioSample> buffers;
    std::vector<std::string> stopErrors;
};

TEST_F(CaptureAudioTest, EachFilterHearsItsApplicationsInEveryChannelTheirTonesReach) {
    struct Row {
        const char* what;
        std::function<ContentFilter()> filter;
        std::int32_t channels;
        // Expected amplitude of the editor's and the radio's tone, per channel.
        std::vector<std::pair<double, double>> levels;
    };
    const std::vector<Row> rows = {
        {"display", [] { return DisplayContentFilter{1}; }, 2, {{0.5, 0.25}, {0, 0.25}}},
        {"display in mono", [] { return DisplayContentFilter{1}; }, 1, {{0.5, 0.25}}},
        {"the editor",
         [this] {
             return ApplicationContentFilter{1, pid("com.example.editor")};
         },
         2,
         {{0.5, 0}, {0, 0}}},
        {"the radio",
         [this] {
             return ApplicationContentFilter{1, pid("com.example.radio")};
         },
         2,
         {{0, 0.25}, {0, 0.25}}},
        {"the editor's window",
         [this] { return WindowContentFilter{windowOf("com.example.editor")}; },
         2,
         {{0.5, 0}, {0, 0}}},
        {"a silent application",
         [this] {
             return ApplicationContentFilter{1, pid("com.example.silent")};
         },
         1,
         {{0, 0}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        buffers.clear();
        ASSERT_EQ(startAudio(row.filter(), row.channels), std::nullopt);
        advance(0.1);
        ASSERT_EQ(buffers.size(), 10u);
        for (const auto& buffer : buffers) {
            EXPECT_EQ(buffer.audio.format, (PcmAudioFormat{48000, static_cast<std::uint32_t>(row.channels),
                                                           PcmSampleFormat::float32, false}));
            EXPECT_EQ(buffer.audio.frameCount, 480);
            EXPECT_TRUE(buffer.audio.holdsItsFrames());
        }
        for (std::size_t index = 0; index < row.levels.size(); ++index) {
            const auto samples = channel(index);
            EXPECT_NEAR(amplitudeAt(samples, editorTone, 48000), row.levels[index].first, 0.01) << "channel " << index;
            EXPECT_NEAR(amplitudeAt(samples, radioTone, 48000), row.levels[index].second, 0.01) << "channel " << index;
        }
        stream->stopCapture([](auto) {});
    }
}

TEST_F(CaptureAudioTest, BuffersAreTimedByTheClockAndAStalledConsumerGetsAtMostASecondLate) {
    ASSERT_EQ(startAudio(DisplayContentFilter{1}), std::nullopt);
    const auto start = std::chrono::nanoseconds(std::llround(clock.monotonicNow() * 1e9));
    advance(0.005);
    EXPECT_TRUE(buffers.empty());
    advance(0.005);
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0].presentationTime, start);
    advance(0.04);
    ASSERT_EQ(buffers.size(), 5u);
    EXPECT_EQ(buffers[4].presentationTime, start + std::chrono::milliseconds(40));

    // 2.5 s pass in one step: only the last second's buffers come, in order.
    buffers.clear();
    advance(2.5);
    ASSERT_EQ(buffers.size(), 100u);
    EXPECT_EQ(buffers.front().presentationTime, start + std::chrono::milliseconds(1550));
    EXPECT_EQ(buffers.back().presentationTime, start + std::chrono::milliseconds(2540));

    bool stopped = false;
    stream->stopCapture([&stopped](std::optional<ScreenCaptureError> error) { stopped = !error; });
    buffers.clear();
    advance(1);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(buffers.empty());
}

TEST_F(CaptureAudioTest, OtherDeliveredFormatsCarryTheSameTone) {
    struct Row {
        AudioDeliveryFormat delivery;
        std::int64_t framesInTenBuffers;
    };
    const std::vector<Row> rows = {
        {{PcmSampleFormat::int16, true, 44100}, 4410},
        {{PcmSampleFormat::int32, false, 22050}, 2205},
        {{PcmSampleFormat::float64, true, std::nullopt}, 4800},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.framesInTenBuffers));
        buffers.clear();
        desktop->setAudioDeliveryFormat(row.delivery);
        ASSERT_EQ(startAudio(ApplicationContentFilter{1, pid("com.example.editor")}), std::nullopt);
        advance(0.1);
        ASSERT_EQ(buffers.size(), 10u);
        std::int64_t frames = 0;
        for (const auto& buffer : buffers) {
            EXPECT_EQ(buffer.audio.format.sampleFormat, row.delivery.sampleFormat);
            EXPECT_EQ(buffer.audio.format.isInterleaved, row.delivery.isInterleaved);
            EXPECT_TRUE(buffer.audio.holdsItsFrames());
            frames += buffer.audio.frameCount;
        }
        EXPECT_EQ(frames, row.framesInTenBuffers);
        const double rate = row.delivery.sampleRate.value_or(48000);
        EXPECT_NEAR(amplitudeAt(channel(0), editorTone, rate), 0.5, 0.01);
        EXPECT_NEAR(amplitudeAt(channel(1), editorTone, rate), 0, 0.01);
        stream->stopCapture([](auto) {});
    }
    EXPECT_THROW(desktop->setAudioDeliveryFormat({PcmSampleFormat::int16, true, 0}), std::invalid_argument);
}

TEST_F(CaptureAudioTest, FailingAudioRefusesAStartAndStopsARunningStreamOnce) {
    desktop->setAudioCaptureFailure("The audio device is gone.");
    EXPECT_EQ(startAudio(DisplayContentFilter{1}), "The audio device is gone.");
    EXPECT_EQ(startAudio(DisplayContentFilter{1}, 3), "The stream's audio format is not valid.");

    desktop->setAudioCaptureFailure(std::nullopt);
    ASSERT_EQ(startAudio(DisplayContentFilter{1}), std::nullopt);
    advance(0.02);
    EXPECT_EQ(buffers.size(), 2u);
    desktop->setAudioCaptureFailure("The audio device is gone.");
    advance(0.01);
    advance(0.05);
    EXPECT_EQ(buffers.size(), 2u);
    EXPECT_THAT(stopErrors, ::testing::ElementsAre("The audio device is gone."));
}

}  // namespace
}  // namespace zentrabo::platform
