#pragma once
// A capture stream of the virtual desktop. Frames are paced by the desktop's
// clock at the minimum frame interval, on the screen output's executor: each
// one copies what the filter shows out of the desktop under its lock and is
// drawn and scaled outside it. While queueDepth delivered frames are still
// held, frames are skipped, so a slow consumer lowers the frame rate instead
// of piling frames up.
// A stream that captures audio delivers the tones of what it shows in 10 ms
// buffers on the audio output's executor, paced by AudioBufferPacing from
// the start of capture.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/desktop/capture_cadence.hpp"
#include "platform/desktop/audio_buffer_pacing.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class VirtualDesktop;

class VirtualCaptureStream final : public CaptureStream, public std::enable_shared_from_this<VirtualCaptureStream> {
public:
    VirtualCaptureStream(std::weak_ptr<VirtualDesktop> desktop, ContentFilter filter, StreamConfiguration configuration,
                         CaptureStreamStopHandler onStop);

    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override;
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateContentFilter(ContentFilter filter, Completion completion) override;
    void updateConfiguration(StreamConfiguration configuration, Completion completion) override;

private:
    template <typename Handler>
    struct Output {
        asio::any_io_executor executor;
        Handler handler;
    };

    // Schedules the next frame; with mutex_ held.
    void scheduleFrameLocked(Clock& clock, double delaySeconds);
    void captureFrame();
    // Schedules the audio for when the next buffer is complete; with mutex_ held.
    void scheduleAudioLocked(Clock& clock);
    void captureAudio();
    void stopWithError(const ScreenCaptureError& error);
    // Completes a filter or configuration update as the desktop's update
    // behaviour says: apply runs when it completes without the desktop's
    // error and answers the update's own failure, if any.
    void completeUpdate(std::function<std::optional<ScreenCaptureError>()> apply, Completion completion);

    const std::weak_ptr<VirtualDesktop> desktop_;
    const CaptureStreamStopHandler onStop_;
    // Frames delivered and not yet released; shared with their queue places,
    // which may outlive the stream.
    HeldFrames framesHeld_;

    std::mutex mutex_;
    ContentFilter filter_;
    StreamConfiguration configuration_;
    std::optional<Output<ScreenOutput>> screenOutput_;
    std::optional<Output<AudioOutput>> audioOutput_;
    bool running_ = false;
    // When the scheduled frame is due, on the clock's monotonic scale.
    double nextFrameTime_ = 0;
    Timer frameTimer_;
    // Updates that complete later, by a number of their own.
    std::map<std::uint64_t, Timer> updateTimers_;
    std::uint64_t nextUpdate_ = 0;
    // The 10 ms buffers since audio capture started.
    AudioBufferPacing audioPacing_;
    Timer audioTimer_;
};

}  // namespace zentrabo::platform
