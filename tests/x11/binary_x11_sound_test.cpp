// The sound of the tests' session (its PulseAudio server with a null
// output) in screen streams of the built binary (--desktop x11): a stream
// hears an application that starts playing after the stream began, and a
// stream without a sound server runs on without sound. What every stream
// carries on both desktops, binary_stream_media_test.cpp shows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

// A tone plays at 0.3 of full scale; heard is well above silence and well
// below it, absent is near silence.
constexpr double heardLevel = 0.15;
constexpr double absentLevel = 0.02;

class BinaryX11Sound : public BinaryX11Test {
protected:
    // An application-window stream asks the application to reopen, which
    // starts an instance of its installed entry (silent); it goes with the test.
    InstalledApplicationsGuard installed{{kInstalledTestApp}};

    // A small, slow H.264 stream with sound.
    static RemoteScreenStreamRequest soundStream(RemoteScreenStreamMode mode) {
        auto options = smallStreamRequest(mode);
        options.framesPerSecond = 5;
        options.capturesAudio = true;
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
        EXPECT_EQ(payload.sampleRate, kStreamSampleRate);
        return payload.channelCount;
    }

    static void waitForTone(TestApplication& application) {
        ASSERT_TRUE(application.reports().waitFor("tone")) << "the application's tone did not start";
    }
};

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
