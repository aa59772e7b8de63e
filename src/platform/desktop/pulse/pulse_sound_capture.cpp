#include "platform/desktop/pulse/pulse_sound_capture.hpp"

#include <pulse/error.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::int64_t fragmentsPerSecond = 100;
// A source keeps at most this much sound waiting, and the newest part of it
// when it runs over.
constexpr double maximumWaitingSeconds = 0.25;
constexpr double keptWaitingSeconds = 0.05;
constexpr auto recordingStartTimeout = std::chrono::seconds(5);
constexpr auto recordingStartPoll = std::chrono::milliseconds(5);
// The source number of the default output's monitor; sink inputs have
// indexes of their own below it.
constexpr std::uint32_t defaultOutputSource = PA_INVALID_INDEX;

std::optional<ProcessID> parsedProcessID(const char* text) {
    if (!text) return std::nullopt;
    ProcessID pid = 0;
    const char* end = text + std::strlen(text);
    const auto [parsed, error] = std::from_chars(text, end, pid);
    if (error != std::errc() || parsed != end || pid <= 0) return std::nullopt;
    return pid;
}

}  // namespace

PulseSoundCapture::PulseSoundCapture(std::optional<ProcessID> application, std::int32_t sampleRate,
                                     std::uint32_t channels)
    : application_(application),
      spec_{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(sampleRate), static_cast<std::uint8_t>(channels)},
      mixer_(channels, static_cast<std::int64_t>(sampleRate * maximumWaitingSeconds),
             static_cast<std::int64_t>(sampleRate * keptWaitingSeconds)) {
    if (sampleRate <= 0 || channels == 0 || channels > PA_CHANNELS_MAX || !pa_sample_spec_valid(&spec_)) {
        throw PulseError("The sound format is not valid.");
    }
    connection_ = std::make_unique<PulseConnection>("screen capture");
    if (application_) {
        auto held = connection_->lock();
        pa_context_set_state_callback(connection_->context(), contextChanged, this);
        watchApplication();
        return;
    }
    pa_stream* stream = nullptr;
    {
        auto held = connection_->lock();
        pa_context_set_state_callback(connection_->context(), contextChanged, this);
        stream = startRecording(defaultOutputSource, std::nullopt).stream;
    }
    // Everything depends on this one stream, so a start it refuses (no
    // default output) fails the capture.
    const auto deadline = std::chrono::steady_clock::now() + recordingStartTimeout;
    for (;;) {
        pa_stream_state_t state;
        {
            auto held = connection_->lock();
            state = stream ? pa_stream_get_state(stream) : PA_STREAM_FAILED;
        }
        if (state == PA_STREAM_READY) return;
        if (!PA_STREAM_IS_GOOD(state) || std::chrono::steady_clock::now() > deadline) {
            std::string error;
            {
                auto held = connection_->lock();
                error = connection_->lastError();
                closing_ = true;
                pa_context_set_state_callback(connection_->context(), nullptr, nullptr);
                stopRecording(defaultOutputSource);
            }
            throw PulseError("The default sound output cannot be recorded: " + error);
        }
        std::this_thread::sleep_for(recordingStartPoll);
    }
}

PulseSoundCapture::~PulseSoundCapture() {
    {
        auto held = connection_->lock();
        closing_ = true;
        pa_context_set_state_callback(connection_->context(), nullptr, nullptr);
        pa_context_set_subscribe_callback(connection_->context(), nullptr, nullptr);
        while (!recordings_.empty()) stopRecording(recordings_.begin()->first);
    }
    connection_.reset();
}

std::optional<std::string> PulseSoundCapture::failure() {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

PulseSoundCapture::Recording& PulseSoundCapture::startRecording(std::uint32_t source,
                                                                std::optional<std::uint32_t> sinkInput) {
    auto& recording = recordings_[source];
    recording = std::make_unique<Recording>(Recording{this, source, nullptr});
    pa_stream* stream = pa_stream_new(connection_->context(), "screen capture", &spec_, nullptr);
    if (!stream) return *recording;
    recording->stream = stream;
    pa_stream_set_read_callback(stream, recordingReadable, recording.get());
    pa_stream_set_state_callback(stream, recordingChanged, recording.get());
    const auto fragment = static_cast<std::uint32_t>(pa_bytes_per_second(&spec_) / fragmentsPerSecond);
    const pa_buffer_attr attributes{static_cast<std::uint32_t>(pa_bytes_per_second(&spec_)),
                                    static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                    static_cast<std::uint32_t>(-1), fragment};
    // A playback stream's own monitor is found by the server on the sink
    // it plays to.
    if (sinkInput) pa_stream_set_monitor_stream(stream, *sinkInput);
    pa_stream_connect_record(stream, sinkInput ? nullptr : "@DEFAULT_MONITOR@", &attributes, PA_STREAM_ADJUST_LATENCY);
    return *recording;
}

void PulseSoundCapture::stopRecording(std::uint32_t source) {
    const auto found = recordings_.find(source);
    if (found == recordings_.end()) return;
    if (pa_stream* stream = found->second->stream) {
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    recordings_.erase(found);
    mixer_.removeSource(source);
}

void PulseSoundCapture::watchApplication() {
    pa_context* context = connection_->context();
    pa_context_set_subscribe_callback(context, sinkInputEvent, this);
    // Subscribed first, so a stream that starts meanwhile is not missed;
    // one seen twice is recorded once.
    if (auto* operation = pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr)) {
        pa_operation_unref(operation);
    }
    if (auto* operation = pa_context_get_sink_input_info_list(context, sinkInputFound, this)) {
        pa_operation_unref(operation);
    }
}

void PulseSoundCapture::considerSinkInput(std::uint32_t index, const char* processID) {
    if (closing_) return;
    if (const auto known = recordings_.find(index); known != recordings_.end()) {
        if (known->second->stream && PA_STREAM_IS_GOOD(pa_stream_get_state(known->second->stream))) return;
        stopRecording(index);
    }
    const auto pid = parsedProcessID(processID);
    if (!pid || !isProcessOrDescendant(*pid, *application_)) return;
    startRecording(index, index);
}

void PulseSoundCapture::contextChanged(pa_context* context, void* opaque) {
    auto* self = static_cast<PulseSoundCapture*>(opaque);
    const auto state = pa_context_get_state(context);
    if (PA_CONTEXT_IS_GOOD(state)) return;
    std::lock_guard lock(self->failureMutex_);
    if (!self->failure_) {
        self->failure_ = std::string("The sound server went away: ") + pa_strerror(pa_context_errno(context));
    }
}

void PulseSoundCapture::sinkInputEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                                       void* opaque) {
    auto* self = static_cast<PulseSoundCapture*>(opaque);
    if (self->closing_ || (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT) return;
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        self->stopRecording(index);
        return;
    }
    // New, or changed (a stream that moved to another output is recorded
    // anew once its old monitor ended).
    if (auto* operation = pa_context_get_sink_input_info(context, index, sinkInputFound, self)) {
        pa_operation_unref(operation);
    }
}

void PulseSoundCapture::sinkInputFound(pa_context*, const pa_sink_input_info* info, int last, void* opaque) {
    if (last || !info) return;
    static_cast<PulseSoundCapture*>(opaque)->considerSinkInput(
        info->index, pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID));
}

void PulseSoundCapture::recordingReadable(pa_stream* stream, std::size_t, void* opaque) {
    auto* recording = static_cast<Recording*>(opaque);
    std::vector<float> samples;
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        // A hole (no data) is skipped: the mixer fills what is missing with silence.
        if (data) {
            samples.resize(bytes / sizeof(float));
            std::memcpy(samples.data(), data, samples.size() * sizeof(float));
            recording->owner->mixer_.append(recording->source, samples);
        }
        pa_stream_drop(stream);
    }
}

void PulseSoundCapture::recordingChanged(pa_stream* stream, void* opaque) {
    auto* recording = static_cast<Recording*>(opaque);
    auto* self = recording->owner;
    // An application's monitor ends with its playback stream, whose removal
    // (or, when it moved to another output, its change) lets it go; the
    // stream itself may not go while this callback runs.
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || self->application_) return;
    std::lock_guard lock(self->failureMutex_);
    if (!self->failure_) {
        self->failure_ = std::string("The default sound output's recording ended: ") +
                         pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
    }
}

}  // namespace zentrabo::platform
