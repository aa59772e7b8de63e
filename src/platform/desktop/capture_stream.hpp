#pragma once
// Live capture: what a stream shows (its content filter), how it delivers it
// (its configuration) and the stream itself, which hands captured frames to
// its outputs until it is stopped or stops by itself with an error.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include <asio/any_io_executor.hpp>

struct AVFrame;

#include "platform/desktop/displays.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/imaging/image.hpp"
#include "platform/media/pcm_audio.hpp"

namespace zentrabo::platform {

// Everything one display shows.
struct DisplayContentFilter {
    DisplayID display = 0;
    bool operator==(const DisplayContentFilter&) const = default;
};

// One window alone, wherever it moves, with nothing in front of it.
struct WindowContentFilter {
    WindowID window = 0;
    bool operator==(const WindowContentFilter&) const = default;
};

// One display showing only the windows of one application; a stream of an
// application's own sound uses it.
struct ApplicationContentFilter {
    DisplayID display = 0;
    ProcessID application = 0;
    bool operator==(const ApplicationContentFilter&) const = default;
};

using ContentFilter = std::variant<DisplayContentFilter, WindowContentFilter, ApplicationContentFilter>;

// A time as a fraction, value / timescale seconds.
struct MediaTime {
    std::int64_t value = 0;
    std::int32_t timescale = 1;
    double seconds() const { return timescale > 0 ? static_cast<double>(value) / timescale : 0.0; }
    bool operator==(const MediaTime&) const = default;
};

// The pictures a stream delivers: RGBA images, or pictures already in the
// video encoders' format (yuv420p of the frame size, BT.709 limited range),
// which spares a converted copy a frame. A desktop that cannot draw the
// latter delivers RGBA.
enum class CapturePixelFormat { rgba, encoderYuv420 };

// How a capture stream delivers its content.
struct StreamConfiguration {
    std::int64_t width = 0;  // pixels of each delivered frame
    std::int64_t height = 0;
    // Scale the source to the frame size; otherwise the source is placed at
    // the frame's top-left corner as it is, cut where it does not fit.
    bool scalesToFit = false;
    // When scaling, keep the source's proportions and centre it.
    bool preservesAspectRatio = false;
    // Frames that may be delivered and not yet released; while that many are
    // held, capture skips frames.
    std::int32_t queueDepth = 8;
    // No two frames come closer together than this.
    MediaTime minimumFrameInterval{1, 60};
    bool showsCursor = true;
    bool capturesAudio = false;
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
    bool excludesCurrentProcessAudio = false;
    CapturePixelFormat pixelFormat = CapturePixelFormat::rgba;
    bool operator==(const StreamConfiguration&) const = default;
};

// A capture failure; its text is the user-facing description.
class ScreenCaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What is to be captured is not there: a window gone, a display away.
inline ScreenCaptureError captureContentUnavailable() {
    return ScreenCaptureError("The content to capture is not available.");
}

// One captured frame. It holds one of the stream's queueDepth places until
// it is destroyed, so whoever keeps it (an encoder's queue) slows capture
// down instead of letting frames pile up.
struct CapturedScreenSample {
    // Empty when the picture below carries the frame.
    RgbaImage image;
    // The frame in the encoders' format, when the configuration asked for it
    // and the desktop draws it; lent from the stream's pool until released.
    std::shared_ptr<AVFrame> encoderPicture;
    // On the capture clock's monotonic scale.
    std::chrono::nanoseconds presentationTime{0};
    std::shared_ptr<const void> queuePlace;
};

// Captured sound and the capture clock's time of its first frame.
struct CapturedAudioSample {
    PcmAudioBuffer audio;
    std::chrono::nanoseconds presentationTime{0};
};

class CaptureStream {
public:
    // Called with none on success, else the failure. It may run on any
    // thread, and before the call that takes it has returned.
    using Completion = std::function<void(std::optional<ScreenCaptureError>)>;
    using ScreenOutput = std::function<void(CapturedScreenSample)>;
    using AudioOutput = std::function<void(CapturedAudioSample)>;

    virtual ~CaptureStream() = default;

    // Frames and sound reach these handlers on the executors given. Throws
    // ScreenCaptureError when the stream refuses the output.
    virtual void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) = 0;
    virtual void addAudioOutput(asio::any_io_executor executor, AudioOutput output) = 0;

    virtual void startCapture(Completion completion) = 0;
    // A frame already being drawn may still arrive after the completion.
    // Updates still pending are dropped: their completions never run.
    virtual void stopCapture(Completion completion) = 0;
    virtual void updateContentFilter(ContentFilter filter, Completion completion) = 0;
    virtual void updateConfiguration(StreamConfiguration configuration, Completion completion) = 0;
};

// Called once, on any thread, when a running stream stops by itself.
using CaptureStreamStopHandler = std::function<void(const ScreenCaptureError& error)>;

}  // namespace zentrabo::platform
