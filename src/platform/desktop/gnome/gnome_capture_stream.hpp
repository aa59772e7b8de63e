#pragma once
// A capture stream of a GNOME Wayland session: a ScreenCast recording of
// what the filter shows (GnomeCaptureTarget), whose newest PipeWire frame is
// delivered at the minimum frame interval, paced by the clock on the screen
// output's executor. mutter sends frames only when something changed, so an
// unchanged picture is delivered again to keep the rate steady. Each frame is
// converted once: straight into a pooled yuv420p picture when the
// configuration asks for the encoders' format, else into RGBA. While
// queueDepth delivered frames are still held, frames are skipped. A
// recording whose stream breaks (its window closed) stops the stream with
// captureContentUnavailable(). A stream that captures audio hears the
// session's sound server (StreamSound): a display everything, a window or an
// application its process's sound.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/desktop/capture_cadence.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/gnome/gnome_capture_target.hpp"
#include "platform/desktop/pulse/stream_sound.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/media/rgba_scaler.hpp"
#include "platform/media/yuv420_picture_pool.hpp"
#include "platform/media/yuv420_scaler.hpp"

namespace zentrabo::platform {

class GnomeCaptureStream final : public CaptureStream, public std::enable_shared_from_this<GnomeCaptureStream> {
public:
    // How long the start waits for the recording's first frame.
    static constexpr std::chrono::milliseconds firstFrameTimeout{3000};

    // The clock must outlive the stream. Nothing is recorded before startCapture.
    GnomeCaptureStream(GnomeCaptureTarget target, Clock& clock, std::shared_ptr<SoundServerWatch> soundWatch,
                       ContentFilter filter, StreamConfiguration configuration, CaptureStreamStopHandler onStop);
    ~GnomeCaptureStream() override;

    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override;
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateContentFilter(ContentFilter filter, Completion completion) override;
    void updateConfiguration(StreamConfiguration configuration, Completion completion) override;

private:
    struct Frame {
        RgbaImage image;
        std::shared_ptr<AVFrame> encoderPicture;
    };
    // A recording whose first frame has come. Throws ScreenCaptureError.
    std::unique_ptr<ScreenCastRecording> recordingWithFrame(const ContentFilter& filter,
                                                            const StreamConfiguration& configuration);
    // Schedules the next frame; with mutex_ held.
    void scheduleFrameLocked(double delaySeconds);
    void captureFrame();
    // The newest picture fitted to the configuration; none while every
    // pooled picture is held. With captureMutex_ held.
    std::optional<Frame> frameLocked(const VideoFrame& picture, const StreamConfiguration& configuration);
    void stopWithError(const ScreenCaptureError& error);
    // Follows an update: the sound of the filter and configuration, or none
    // when it cannot be had.
    void refreshSound();
    // The sound the filter and configuration ask for; a window's is its
    // process's. Throws ScreenCaptureError when the window is not there.
    std::optional<SoundRequest> soundRequest(const ContentFilter& filter,
                                             const StreamConfiguration& configuration) const;

    const GnomeCaptureTarget target_;
    Clock& clock_;
    const CaptureStreamStopHandler onStop_;
    const std::shared_ptr<StreamSound> sound_;
    HeldFrames framesHeld_;

    std::mutex mutex_;
    ContentFilter filter_;
    StreamConfiguration configuration_;
    std::optional<asio::any_io_executor> screenExecutor_;
    ScreenOutput screenOutput_;
    bool running_ = false;
    double nextFrameTime_ = 0;
    Timer frameTimer_;

    // What draws frames, one at a time.
    std::mutex captureMutex_;
    std::unique_ptr<ScreenCastRecording> recording_;
    RgbaScaler scaler_;
    Yuv420Scaler yuvScaler_;
    std::optional<Yuv420PicturePool> picturePool_;
};

}  // namespace zentrabo::platform
