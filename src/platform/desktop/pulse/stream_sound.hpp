#pragma once
// The sound side of a capture stream: what it hears through the session's
// sound server (PulseSoundCapture), a display everything, a window or an
// application its owner's sound. Its 10 ms buffers go to the audio output's
// executor, timed on the same clock as the stream's frames, a little after
// they end so the server's fragments have come. Without a sound server the
// stream does not start; when the server goes away later, a stream of sound
// alone stops with that error, and one with pictures goes on without sound
// and connects anew every retrySeconds until the server is back, then hears
// it again. Whether sound could be had goes to the capture's
// SoundServerWatch.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/desktop/audio_buffer_pacing.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class PulseSoundCapture;
class SoundServerWatch;

// What a stream hears: whose sound (none: everything's) in which format.
struct SoundRequest {
    std::optional<ProcessID> owner;
    std::int32_t sampleRate = 0;
    std::int32_t channelCount = 0;

    bool operator==(const SoundRequest&) const = default;
};

// The request of a configuration that captures audio, from whose sound;
// none when it captures no audio.
std::optional<SoundRequest> soundRequestFor(const StreamConfiguration& configuration, std::optional<ProcessID> owner);

class StreamSound final : public std::enable_shared_from_this<StreamSound> {
public:
    static constexpr double retrySeconds = 0.5;
    // Told, on the audio output's executor, why a stream of sound alone stops.
    using LossHandler = std::function<void(const ScreenCaptureError&)>;

    // The clock must outlive the sound.
    StreamSound(Clock& clock, std::shared_ptr<SoundServerWatch> watch);
    ~StreamSound();
    StreamSound(const StreamSound&) = delete;
    StreamSound& operator=(const StreamSound&) = delete;

    // Throws ScreenCaptureError when there already is one.
    void addOutput(asio::any_io_executor executor, CaptureStream::AudioOutput output);
    // The stream has pictures too, so it outlives its sound.
    void accompanyPictures();
    // Starts hearing what is asked; nothing when none is. Throws
    // ScreenCaptureError when no sound server answers.
    void start(std::optional<SoundRequest> request, LossHandler onLost);
    // Hears what is asked from now on; without sound when it cannot be had
    // (the request throws ScreenCaptureError, say, as a window's owner
    // cannot be told once it is gone).
    using RequestOf = std::function<std::optional<SoundRequest>()>;
    void change(const RequestOf& requestOf);
    void stop();

private:
    struct Heard {
        std::shared_ptr<PulseSoundCapture> capture;
        SoundRequest request;
    };

    // What the request asks for: the current sound when it already is that,
    // a new one, or nothing. Throws ScreenCaptureError when no sound server
    // answers.
    Heard heardFor(const std::optional<SoundRequest>& request, const Heard& current);
    // With mutex_ held.
    void scheduleRetryLocked();
    void retry();
    // Hears the request from now on, unless a later one or a stop came
    // while its sound was being connected.
    void changeTo(std::optional<SoundRequest> request);
    // Schedules the next buffers, at least atLeast seconds from now; with
    // mutex_ held.
    void scheduleBuffersLocked(double atLeast = 0);
    void handOutBuffers();

    Clock& clock_;
    const std::shared_ptr<SoundServerWatch> watch_;

    std::mutex mutex_;
    std::optional<asio::any_io_executor> executor_;
    CaptureStream::AudioOutput output_;
    LossHandler onLost_;
    bool withPictures_ = false;
    bool running_ = false;
    std::optional<SoundRequest> request_;
    Heard heard_;
    AudioBufferPacing pacing_;
    Timer bufferTimer_;
    Timer retryTimer_;
};

}  // namespace zentrabo::platform
