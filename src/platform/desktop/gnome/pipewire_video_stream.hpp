#pragma once
// A consumer of one PipeWire video node (what mutter's ScreenCast hands out):
// raw 4-byte pixels in shared memory (MemFd or MemPtr; DMA-BUF is not taken,
// since no GPU here could test it), on a thread loop of its own ("zb-pipewire")
// that is stopped and joined when the stream goes. Each frame is copied out
// of the mapped buffer at once, so the buffer goes back to the compositor;
// the newest frame is kept, cut to the crop region the buffer names (a
// window's stream is its monitor's size with the window in a region). The compositor sends frames only when something
// changed, so a consumer that needs a steady rate repeats the newest one.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/desktop/gnome/picture_region.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/packed_pixels.hpp"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_pod;

namespace zentrabo::platform {

struct VideoFrame {
    std::vector<std::uint8_t> bytes;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t stride = 0;
    PackedPixelOrder order = PackedPixelOrder::bgrx;
    // Counts the frames of the stream from 1.
    std::uint64_t sequence = 0;

    PackedPixels pixels() const { return {bytes.data(), width, height, stride, order}; }
    RgbaImage rgba() const;
};

class PipewireVideoStream {
public:
    // The largest side negotiated.
    static constexpr std::uint32_t maximumSide = 8192;

    // Connects to the node through the session's PipeWire (its socket in
    // $XDG_RUNTIME_DIR), preferring the size given (what the node shows);
    // each frame leaves out the insets inside the buffer's crop region.
    // Throws ScreenCaptureError when PipeWire cannot be reached.
    PipewireVideoStream(std::uint32_t node, std::uint32_t width, std::uint32_t height, FrameInsets insets = {});
    ~PipewireVideoStream();
    PipewireVideoStream(const PipewireVideoStream&) = delete;
    PipewireVideoStream& operator=(const PipewireVideoStream&) = delete;

    // The newest frame; null before the first.
    std::shared_ptr<const VideoFrame> newest();
    // The newest frame once it is later than sequence `after`, waiting at
    // most timeout; null when none came or the stream failed.
    std::shared_ptr<const VideoFrame> waitForFrame(std::uint64_t after, std::chrono::milliseconds timeout);
    // The stream broke (the node went, the format cannot be read).
    bool failed();

private:
    struct Listener;
    // Disconnects and stops the loop's thread.
    void release();
    void negotiated(const spa_pod* format);
    void frameArrived();
    void fail();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    std::unique_ptr<Listener> listener_;
    const FrameInsets insets_;

    // The format negotiated; read on the loop's thread only.
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    PackedPixelOrder order_ = PackedPixelOrder::bgrx;
    bool formatKnown_ = false;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::shared_ptr<const VideoFrame> newest_;
    std::uint64_t sequence_ = 0;
    bool failed_ = false;
};

}  // namespace zentrabo::platform
