#pragma once
// A capture stream of an X11 session. Frames are paced by the clock at the
// minimum frame interval, on the screen output's executor, one at a time:
// each reads what the filter shows through the stream's own connection
// (X11CaptureSource) and is fitted to the configuration through swscale.
// While queueDepth delivered frames are still held, frames are skipped, so a
// slow consumer lowers the frame rate instead of piling frames up. Filter
// and configuration updates take effect from the next frame on. Sound is
// not captured on this desktop: a stream that asks for it does not start.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/x11/x11_capture_source.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/media/rgba_scaler.hpp"

namespace zentrabo::platform {

class X11CaptureStream final : public CaptureStream, public std::enable_shared_from_this<X11CaptureStream> {
public:
    // The clock must outlive the stream. Nothing connects before startCapture.
    X11CaptureStream(std::string display, Clock& clock, ContentFilter filter, StreamConfiguration configuration,
                     CaptureStreamStopHandler onStop);

    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override;
    // Taken, and never given sound.
    void addAudioOutput(asio::any_io_executor, AudioOutput) override {}
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateContentFilter(ContentFilter filter, Completion completion) override;
    void updateConfiguration(StreamConfiguration configuration, Completion completion) override;

private:
    struct ScreenTarget {
        asio::any_io_executor executor;
        ScreenOutput handler;
    };

    // Schedules the next frame; with mutex_ held.
    void scheduleFrameLocked(double delaySeconds);
    void captureFrame();
    // The filter's picture now, fitted to the configuration; with
    // captureMutex_ held. Throws ScreenCaptureError.
    std::optional<RgbaImage> frameLocked(const ContentFilter& filter, const StreamConfiguration& configuration);
    void stopWithError(const ScreenCaptureError& error);

    const std::string display_;
    Clock& clock_;
    const CaptureStreamStopHandler onStop_;
    // Frames delivered and not yet released; shared with their queue places,
    // which may outlive the stream.
    const std::shared_ptr<std::atomic<std::int32_t>> framesHeld_;

    std::mutex mutex_;
    ContentFilter filter_;
    StreamConfiguration configuration_;
    std::optional<ScreenTarget> screenOutput_;
    bool running_ = false;
    // When the scheduled frame is due, on the clock's monotonic scale.
    double nextFrameTime_ = 0;
    Timer frameTimer_;

    // What draws frames, one at a time.
    std::mutex captureMutex_;
    std::unique_ptr<X11CaptureSource> source_;
    RgbaScaler scaler_;
};

}  // namespace zentrabo::platform
