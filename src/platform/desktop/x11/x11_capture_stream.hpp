#pragma once
// A capture stream of an X11 session. Frames are paced by the clock at the
// minimum frame interval, on the screen output's executor, one at a time:
// each reads what the filter shows through the stream's own connection
// (X11CaptureSource) and is fitted to the configuration through swscale:
// straight from the display's shared-memory picture into a pooled yuv420p
// picture when the configuration asks for the encoders' format, else into
// RGBA. While queueDepth delivered frames are still held, or no pooled
// picture is free, frames are skipped before any grab, so a slow consumer
// lowers the frame rate instead of piling frames up. Filter
// and configuration updates take effect from the next frame on.
// A stream that captures audio hears the session's sound server
// (StreamSound): a display everything, a window its owner's sound (the
// window's process), an application filter that application's.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/capture_cadence.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/pulse/stream_sound.hpp"
#include "platform/desktop/x11/x11_capture_source.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/media/rgba_scaler.hpp"
#include "platform/media/yuv420_picture_pool.hpp"
#include "platform/media/yuv420_scaler.hpp"

namespace zentrabo::platform {

class SoundServerWatch;

class X11CaptureStream final : public CaptureStream, public std::enable_shared_from_this<X11CaptureStream> {
public:
    // The clock must outlive the stream. Nothing connects before startCapture.
    // The display's streams take turns on its segment.
    X11CaptureStream(std::string display, std::shared_ptr<ShmSegmentShare> segment, Clock& clock,
                     std::shared_ptr<SoundServerWatch> soundWatch, ContentFilter filter,
                     StreamConfiguration configuration, CaptureStreamStopHandler onStop);
    ~X11CaptureStream() override;

    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override;
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateContentFilter(ContentFilter filter, Completion completion) override;
    void updateConfiguration(StreamConfiguration configuration, Completion completion) override;

private:
    template <typename Handler>
    struct Target {
        asio::any_io_executor executor;
        Handler handler;
    };
    // Schedules the next frame; with mutex_ held.
    void scheduleFrameLocked(double delaySeconds);
    void captureFrame();
    // The filter's picture now, fitted to the configuration: RGBA, or a
    // picture of the pool. None while the content shows nothing or every
    // pooled picture is held. With captureMutex_ held. Throws
    // ScreenCaptureError.
    struct Frame {
        RgbaImage image;
        std::shared_ptr<AVFrame> encoderPicture;
    };
    std::optional<Frame> frameLocked(const ContentFilter& filter, const StreamConfiguration& configuration);
    // The pool for the configuration's size; with captureMutex_ held.
    Yuv420PicturePool& picturePoolLocked(const StreamConfiguration& configuration);
    void stopWithError(const ScreenCaptureError& error);
    // Lets go of the source's connection and picture memory once stopped; a
    // new start makes another.
    void releaseSource();
    // The sound the filter and configuration ask for. Throws
    // ScreenCaptureError when the filter's window is not there.
    std::optional<SoundRequest> soundRequest(const ContentFilter& filter, const StreamConfiguration& configuration);
    // Follows an update: the sound of the filter and configuration, or none
    // when it cannot be had.
    void refreshSound();

    const std::string display_;
    const std::shared_ptr<ShmSegmentShare> segment_;
    Clock& clock_;
    const CaptureStreamStopHandler onStop_;
    const std::shared_ptr<StreamSound> sound_;
    // Frames delivered and not yet released; shared with their queue places,
    // which may outlive the stream.
    HeldFrames framesHeld_;

    std::mutex mutex_;
    ContentFilter filter_;
    StreamConfiguration configuration_;
    std::optional<Target<ScreenOutput>> screenOutput_;
    bool running_ = false;
    // When the scheduled frame is due, on the clock's monotonic scale.
    double nextFrameTime_ = 0;
    Timer frameTimer_;

    // What draws frames, one at a time.
    std::mutex captureMutex_;
    std::unique_ptr<X11CaptureSource> source_;
    RgbaScaler scaler_;
    Yuv420Scaler yuvScaler_;
    // Pictures in the encoders' format.
    std::optional<Yuv420PicturePool> picturePool_;
};

}  // namespace zentrabo::platform
