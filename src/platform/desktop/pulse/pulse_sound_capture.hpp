#pragma once
// What a capture hears through the session's sound server: everything the
// default output plays (its monitor), or one application alone. An
// application's sound is the monitor of each of its own playback streams
// (sink inputs whose application.process.id is the application's process or
// a descendant of it): streams that start later are picked up, streams that
// end are let go, and several are mixed. Samples arrive on the connection's
// thread in 10 ms fragments as 32-bit float at the asked rate and channels
// (the server converts) and wait in a bounded mixer until taken.
#include <pulse/introspect.h>
#include <pulse/stream.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/running_application.hpp"
#include "platform/desktop/pulse/pulse_connection.hpp"
#include "platform/desktop/pulse/sound_mixer.hpp"

namespace zentrabo::platform {

class PulseSoundCapture {
public:
    // application: none for the whole default output. Throws PulseError when
    // no sound server answers or the default output cannot be recorded.
    PulseSoundCapture(std::optional<ProcessID> application, std::int32_t sampleRate, std::uint32_t channels);
    ~PulseSoundCapture();
    PulseSoundCapture(const PulseSoundCapture&) = delete;
    PulseSoundCapture& operator=(const PulseSoundCapture&) = delete;

    // frames of interleaved samples: what was heard since the last take,
    // silence where there was nothing.
    std::vector<float> take(std::int64_t frames) { return mixer_.take(frames); }
    // True while samples for the next frames are still on their way.
    bool lagging(std::int64_t frames) { return mixer_.lagging(frames); }
    // Why the sound server went away, once it has.
    std::optional<std::string> failure();

private:
    // One recording stream; its address is the stream callbacks' data.
    struct Recording {
        PulseSoundCapture* owner = nullptr;
        std::uint32_t source = 0;
        pa_stream* stream = nullptr;
    };

    // On the loop's thread, or with its lock held.
    Recording& startRecording(std::uint32_t source, std::optional<std::uint32_t> sinkInput);
    void stopRecording(std::uint32_t source);
    void considerSinkInput(std::uint32_t index, const char* processID);
    void watchApplication();

    static void contextChanged(pa_context* context, void* self);
    static void sinkInputEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index, void* self);
    static void sinkInputFound(pa_context* context, const pa_sink_input_info* info, int last, void* self);
    static void recordingReadable(pa_stream* stream, std::size_t bytes, void* recording);
    static void recordingChanged(pa_stream* stream, void* recording);

    const std::optional<ProcessID> application_;
    pa_sample_spec spec_{};
    SoundMixer mixer_;
    // Only touched on the loop's thread or with its lock held.
    std::map<std::uint32_t, std::unique_ptr<Recording>> recordings_;
    bool closing_ = false;

    std::mutex failureMutex_;
    std::optional<std::string> failure_;

    // Last: its loop stops before anything its callbacks use goes.
    std::unique_ptr<PulseConnection> connection_;
};

}  // namespace zentrabo::platform
