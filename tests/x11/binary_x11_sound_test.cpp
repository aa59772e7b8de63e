// The sound of the tests' session (its PulseAudio server with a null
// output) in screen streams of the built binary (--desktop x11): a stream
// hears an application that starts playing after the stream began, and a
// stream without a sound server runs on without sound, which the terminal,
// the log and status say; a stream whose sound server is killed and
// restarted hears it again. What every stream carries on both desktops,
// binary_stream_media_test.cpp shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_environment.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/own_sound_server.hpp"
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
        auto audio = audioFramesOnceSent(client, count);
        EXPECT_FALSE(client.isClosed()) << "the stream ended: " << client.undecoded() << "\n"
                                        << lastError(client) << process->errorText();
        return audio;
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

    // The sound line of status once the server's check has answered, and
    // every line printed before that status.
    struct SoundStatus {
        std::string value;
        std::vector<std::string> linesBefore;
    };
    SoundStatus soundStatus() {
        SoundStatus status;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            if (!process->writeLine("status")) break;
            while (auto line = process->readLine(std::chrono::seconds(10))) {
                if (line->rfind("sound: ", 0) == 0) {
                    status.value = line->substr(7);
                    break;
                }
                status.linesBefore.push_back(*line);
            }
            if (status.value != "checking" || std::chrono::steady_clock::now() > end) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return status;
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

TEST_F(BinaryX11WithoutSoundServer, StreamsRunOnWithoutSoundAndTheTerminalAndLogSayWhyOnce) {
    const std::string problem = "no sound server answers (";
    EXPECT_EQ(soundStatus().value.rfind(problem, 0), 0u) << "before any stream";
    const std::string notice = "A screen stream runs without sound: " + problem;
    // The second stream finds the terminal told already.
    for (int stream = 1; stream <= 2; ++stream) {
        SCOPED_TRACE(stream);
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
        EXPECT_EQ(home.logCount("Screen stream audio capture failed; retrying video-only: No sound server answers"),
                  static_cast<std::size_t>(stream))
            << home.logText();
        // The notice was posted before the stream's first picture; status
        // reads everything printed up to its own lines.
        const auto status = soundStatus();
        const auto notices = std::count_if(status.linesBefore.begin(), status.linesBefore.end(),
                                           [&](const std::string& line) { return line.rfind(notice, 0) == 0; });
        EXPECT_EQ(notices, stream == 1 ? 1 : 0) << ::testing::PrintToString(status.linesBefore);
        EXPECT_EQ(status.value.rfind(problem, 0), 0u);
    }
    EXPECT_EQ(home.logCount(notice), 1u) << home.logText();
}

// The server and the tone players reach a sound server of the test's own.
class BinaryX11OwnSoundServer : public BinaryX11Sound {
protected:
    void SetUp() override {
        std::filesystem::create_directory(home.path() / "pulse");
        soundServer = std::make_unique<OwnSoundServer>(home.path() / "pulse");
        serverEnvironment = {"PULSE_SERVER=" + soundServer->address()};
        BinaryX11Sound::SetUp();
    }

    // A windowless player of the tone on the test's sound server, ended
    // (and awaited) when it goes.
    struct TonePlayer {
        pid_t pid;
        explicit TonePlayer(const std::string& server) {
            ScopedEnvironment environment({{"PULSE_SERVER", server}});
            pid = spawnProgram(
                {"/usr/bin/python3", "-B", ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/tone.py", "700"});
        }
        ~TonePlayer() {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        TonePlayer(const TonePlayer&) = delete;
        TonePlayer& operator=(const TonePlayer&) = delete;
    };

    // Whether the stream's latest half second of sound carries the tone,
    // within the time given.
    bool toneHeardWithin(StreamClient& client, std::chrono::milliseconds limit) {
        constexpr std::size_t window = 50;
        const auto end = std::chrono::steady_clock::now() + limit;
        std::size_t heardAt = framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio).size() + window;
        while (std::chrono::steady_clock::now() < end && !client.isClosed()) {
            const auto audio = framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio);
            if (audio.size() >= heardAt) {
                if (steadyToneLevel(firstChannel(audio, audio.size() - window, audio.size(), 2), 700) > heardLevel) {
                    return true;
                }
                heardAt = audio.size() + window / 5;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::unique_ptr<OwnSoundServer> soundServer;
};

TEST_F(BinaryX11OwnSoundServer, AStreamWhoseSoundServerRestartsHearsItAgain) {
    auto client = open(soundStream(RemoteScreenStreamMode::display));
    {
        TonePlayer player(soundServer->address());
        ASSERT_TRUE(toneHeardWithin(*client, std::chrono::seconds(10))) << "before the sound server went";
        soundServer->kill();
    }
    // Pictures go on meanwhile.
    const auto videoBefore = framesOfKind(client->frames(), RemoteScreenStreamFrameKind::video).size();
    ASSERT_TRUE(client->waitUntil(
        [&] { return framesOfKind(client->frames(), RemoteScreenStreamFrameKind::video).size() >= videoBefore + 3; },
        std::chrono::seconds(10)));
    ASSERT_TRUE(soundServer->start());
    TonePlayer player(soundServer->address());
    EXPECT_TRUE(toneHeardWithin(*client, std::chrono::seconds(5))) << "after the sound server came back";
    EXPECT_FALSE(client->isClosed()) << lastError(*client);
    EXPECT_EQ(home.logCount("A screen stream runs without sound: The sound server went away"), 1u) << home.logText();
    EXPECT_EQ(home.logCount("Screen streams have sound again."), 1u) << home.logText();
}

TEST_F(BinaryX11Sound, StatusSaysSoundIsAvailable) { EXPECT_EQ(soundStatus().value, "available"); }

}  // namespace
}  // namespace zentrabo::testing
