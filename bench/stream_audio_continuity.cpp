// Continuity of a display stream's sound under load: the server binary
// (--desktop x11) on the X11 session of $DISPLAY and a sound server of the
// bench's own (a null output), a steady 660 Hz tone playing into it, a window
// moving on the screen; a paired device streams the display at 1080p30 in
// H.264 with sound while the output's monitor is recorded beside it
// (parec). Over 30 s of each, the broken 50 ms windows (tone_continuity.hpp)
// of the stream against the monitor's, the audio frames the transport
// dropped (gaps in their sequence numbers) and the machine's load. The aim:
// at most one more broken window in the stream than in the monitor, none
// dropped. It also prints how long after the stream's first picture the
// tone, playing all along, is first heard in it.
#include <sys/wait.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "given_x_display.hpp"
#include "moving_x11_window.hpp"
#include "paired_server.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "support/temporary_home.hpp"
#include "tone_continuity.hpp"
#include "x11/own_sound_server.hpp"

namespace zentrabo {
namespace {

constexpr double toneFrequency = 660;
// The stream starts once the tone sounds; in each recording, from the
// tone's first sample the next half second is not counted, then 30 s are.
constexpr std::size_t settlingWindows = 10;
constexpr std::size_t countedWindows = 600;
constexpr std::size_t neededSamples = (settlingWindows + countedWindows + 30) * bench::toneWindow;
constexpr std::size_t streamChannels = 2;
constexpr auto recordingBound = std::chrono::seconds(90);
constexpr auto toneStartBound = std::chrono::seconds(20);

std::string loadAverage() {
    double one = 0;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &one) != 1) one = 0;
        std::fclose(file);
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", one);
    return text;
}

// A child program ended (and awaited) when this goes.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid_;
};

// The sound server's output as its monitor records it, mono 16-bit, on a
// thread of its own until it has `samples` or the bound passes.
class MonitorRecording {
public:
    explicit MonitorRecording(std::size_t samples)
        : recorder_(popen("exec parec -d test_output.monitor --raw --format=s16le --rate=48000 --channels=1 "
                          "--latency-msec=20 2>/dev/null",
                          // Closed on exec: a program started later must not
                          // hold the pipe open, or parec never sees its end.
                          "re")),
          thread_([this, samples] { record(samples); }) {}
    ~MonitorRecording() {
        thread_.join();
        if (recorder_ != nullptr) pclose(recorder_);
    }
    MonitorRecording(const MonitorRecording&) = delete;
    MonitorRecording& operator=(const MonitorRecording&) = delete;

    // Waits for the recording's end; its samples as -1 ... 1.
    std::vector<double> samples() {
        while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return samples_;
    }

    // Waits until a sample of a tenth of full scale or louder has come;
    // false when none did within the bound.
    bool waitUntilHeard(std::chrono::seconds bound) {
        const auto giveUp = std::chrono::steady_clock::now() + bound;
        while (!heard_ && !done_ && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return heard_;
    }

private:
    void record(std::size_t samples) {
        std::int16_t chunk[4800];
        while (recorder_ != nullptr && samples_.size() < samples) {
            const std::size_t count = std::fread(chunk, sizeof chunk[0], std::size(chunk), recorder_);
            if (count == 0) break;
            for (std::size_t index = 0; index < count; ++index) {
                samples_.push_back(chunk[index] / 32768.0);
                if (std::abs(chunk[index]) >= 3277) heard_ = true;
            }
        }
        // parec ends when its output closes.
        if (recorder_ != nullptr) pclose(std::exchange(recorder_, nullptr));
        done_ = true;
    }

    FILE* recorder_;
    std::vector<double> samples_;
    std::atomic<bool> done_{false};
    std::atomic<bool> heard_{false};
    std::thread thread_;
};

// Audio frames the transport dropped: the gaps in their sequence numbers.
std::size_t droppedFrames(const std::vector<RemoteScreenStreamFrame>& audio) {
    std::size_t dropped = 0;
    for (std::size_t index = 1; index < audio.size(); ++index) {
        const auto previous = audio[index - 1].sequenceNumber;
        if (audio[index].sequenceNumber > previous) dropped += audio[index].sequenceNumber - previous - 1;
    }
    return dropped;
}

// Where the tone is first heard in the stream, in seconds after its first
// picture (both on the stream's own time line); none without either.
std::optional<double> soundStartAfterPicture(const std::vector<RemoteScreenStreamFrame>& frames,
                                             const std::vector<RemoteScreenStreamFrame>& audio,
                                             const std::vector<double>& firstChannel) {
    const auto picture = std::find_if(frames.begin(), frames.end(), [](const RemoteScreenStreamFrame& frame) {
        return frame.kind == RemoteScreenStreamFrameKind::video;
    });
    if (picture == frames.end() || audio.empty() || firstChannel.empty()) return std::nullopt;
    const double heard = static_cast<double>(audio.front().presentationTimeNanoseconds) * 1e-9 +
                         static_cast<double>(bench::firstSound(firstChannel)) / bench::toneSampleRate;
    return heard - static_cast<double>(picture->presentationTimeNanoseconds) * 1e-9;
}

std::size_t sampleCount(const std::vector<RemoteScreenStreamFrame>& audio) {
    std::size_t bytes = 0;
    for (const auto& frame : audio) bytes += frame.payload.size();
    return bytes / (2 * streamChannels);
}

}  // namespace
}  // namespace zentrabo

int main() {
    using namespace zentrabo;
    const char* display = bench::givenXDisplay("stream audio continuity");
    if (display == nullptr) return 0;
    testing::TemporaryHome home;
    std::filesystem::create_directory(home.path() / "pulse");
    testing::OwnSoundServer sound(home.path() / "pulse");
    // The server, the tone and the recorder all reach it.
    setenv("PULSE_SERVER", sound.address().c_str(), 1);
    const std::string loadAtStart = loadAverage();
    const bench::MovingX11Window window(display, 1920);
    testing::ServerProcess server({"--desktop", "x11"});
    const testing::TestDevice phone;
    const auto start = bench::pairWith(server, phone);
    if (!start) {
        std::printf("stream audio continuity: the server did not start or pairing failed\n");
        return 1;
    }
    MonitorRecording monitor(neededSamples);
    const Child tone(
        testing::spawnProgram({"/usr/bin/python3", "-B", ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/tone.py",
                               std::to_string(static_cast<int>(toneFrequency))}));
    // The player (Python) takes a while to start on a loaded machine: the
    // stream starts once the tone sounds, so its silence before is the
    // server's own.
    if (!monitor.waitUntilHeard(toneStartBound)) {
        std::printf("stream audio continuity: the tone did not start\n");
        return 1;
    }

    RemoteScreenStreamRequest request;
    request.mode = RemoteScreenStreamMode::display;
    request.framesPerSecond = 30;
    request.maximumPixelDimension = 1920;
    request.bitrate = 8'000'000;
    request.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
    request.capturesAudio = true;
    const auto client = testing::openStream(phone, start->port, start->fingerprint, request);
    const auto audio = [&] { return testing::framesOfKind(client->frames(), RemoteScreenStreamFrameKind::audio); };
    client->waitUntil(
        [&] {
            // Each look copies every frame received so far: twice a second
            // is enough.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return client->isClosed() || sampleCount(audio()) >= neededSamples;
        },
        recordingBound);
    const auto streamed = audio();
    const auto recorded = monitor.samples();
    const std::string loadAtEnd = loadAverage();
    const auto streamedChannel = testing::firstChannel(streamed, 0, streamed.size(), streamChannels);
    const auto ours = bench::toneContinuity(streamedChannel, toneFrequency, settlingWindows, countedWindows);
    const auto monitored = bench::toneContinuity(recorded, toneFrequency, settlingWindows, countedWindows);
    std::printf(
        "stream audio continuity, X11 session %s, a %.0f Hz tone, 1080p30 H.264 display stream with sound "
        "(load %s at the start, %s at the end): broken 50 ms windows, stream %zu of %zu, sink monitor %zu of %zu; "
        "audio frames dropped by the transport %zu (aims: at most one more broken window than the monitor, none "
        "dropped)\n",
        display, toneFrequency, loadAtStart.c_str(), loadAtEnd.c_str(), ours.broken, ours.windows, monitored.broken,
        monitored.windows, droppedFrames(streamed));
    // The tone plays throughout, so the stream should sound from its start.
    if (const auto start = soundStartAfterPicture(client->frames(), streamed, streamedChannel)) {
        std::printf("stream audio continuity: the tone is first heard %.0f ms after the stream's first picture\n",
                    *start * 1000);
    }
    return ours.windows == countedWindows && monitored.windows == countedWindows ? 0 : 1;
}
