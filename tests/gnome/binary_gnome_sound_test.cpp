// The sound of the tests' GNOME session (its pipewire-pulse) in the built
// binary's screen streams (--desktop gnome-wayland): a display stream hears
// a tone that a Wayland application starts playing after the stream began,
// and status says the sound server answers.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gnome/binary_gnome_fixture.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {
namespace {

// A tone plays at 0.3 of full scale; heard is well above silence and well
// below it, absent is near silence.
constexpr double heardLevel = 0.15;
constexpr double absentLevel = 0.02;

class BinaryGnomeSound : public BinaryGnomeTest {
protected:
    // Waits until the stream has sent `count` audio frames (at most 10 s).
    std::vector<RemoteScreenStreamFrame> audioUntil(StreamClient& client, std::size_t count) {
        auto audio = audioFramesOnceSent(client, count);
        EXPECT_FALSE(client.isClosed()) << "the stream ended: " << client.undecoded() << "\n" << process->errorText();
        return audio;
    }

    // The sound line of status once the server's first check has answered.
    std::string soundStatus() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string value;
        do {
            if (!value.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!process->writeLine("status")) return "(no terminal)";
            while (auto line = process->readLine(std::chrono::seconds(10))) {
                if (line->rfind("sound: ", 0) == 0) {
                    value = line->substr(7);
                    break;
                }
            }
        } while (value == "checking" && std::chrono::steady_clock::now() < end);
        return value;
    }
};

TEST_F(BinaryGnomeSound, ADisplayStreamHearsAToneThatStartsLater) {
    EXPECT_EQ(soundStatus(), "available");
    constexpr double tone = 700;
    TestApplication application({.windows = {TestWindowSpec{"Tone", 320, 240, {}, {}, {}, false}},
                                 .arguments = {"--tone", "700", "--tone-after", "3.5"}});
    ASSERT_TRUE(application.reports().waitFor("mapped", "Tone"));
    auto options = smallStreamRequest(RemoteScreenStreamMode::display);
    options.framesPerSecond = 5;
    options.capturesAudio = true;
    auto client = openStream(phone, port, serverFingerprint, options);
    const auto before = audioUntil(*client, 30);
    ASSERT_GE(before.size(), 30u);
    ASSERT_FALSE(application.reports().waitFor("tone", {}, std::chrono::milliseconds(0)))
        << "the tone started before the stream did; nothing was shown";
    ASSERT_TRUE(application.reports().waitFor("tone")) << "the application's tone did not start";
    const std::size_t atTone = framesOfKind(client->frames(), RemoteScreenStreamFrameKind::audio).size();
    const auto after = audioUntil(*client, atTone + 80);
    ASSERT_GE(after.size(), atTone + 80);
    EXPECT_LT(steadyToneLevel(firstChannel(after, 0, 30, 2), tone), absentLevel) << "heard before it played";
    EXPECT_GT(steadyToneLevel(firstChannel(after, atTone + 30, atTone + 80, 2), tone), heardLevel);
}

}  // namespace
}  // namespace zentrabo::testing
