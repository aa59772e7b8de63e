#pragma once
// An H.264 or HEVC encoder set up for real-time, low-latency use: one picture
// in, one access unit out, no reordering, a key frame at least every
// framesPerSecond pictures, parameter sets in band before every IDR picture,
// and a quality held under a bitrate cap: a constant rate factor derived
// from the quality, with the encoder's video buffer limiting the rate to
// the bitrate, so a calm picture costs less than the cap and a busy one
// never more. Packets come out as Annex-B byte streams. Not thread-safe:
// one thread uses a session at a time.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>

#include "platform/media/av_handles.hpp"

namespace zentrabo::platform {

enum class VideoCompressionCodec { h264, hevc };

struct VideoCompressionSettings {
    VideoCompressionCodec codec = VideoCompressionCodec::h264;
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
    std::int64_t bitrate = 0;  // bits per second, the cap
    // 0 (worst) ... 1 (best the cap allows); see constantRateFactor.
    double quality = 1;

    bool operator==(const VideoCompressionSettings&) const = default;
};

// The constant rate factor the encoders get for a quality, on the scale
// libx264 and libx265 share (0 lossless ... 51 worst): quality 0 is 51,
// quality 1 is 18, the point past which x264's pictures look no better;
// linear between, so 0.82 gives about 24 (x264's own default is 23) and
// 0.95 about 19.7. Qualities outside 0 ... 1 count as the nearer end.
double constantRateFactor(double quality);

// libx264's sliced threads for a session: one per core this process may run
// on (its CPU affinity, not the machine's count), at most eight. Threads
// beyond the cores add memory (about 2 MB each at 1080p) and switching, and
// no speed.
int h264ThreadCount();

// One compressed picture, as the encoder produced it.
class EncodedVideoPacket {
public:
    explicit EncodedVideoPacket(AvPacketPtr packet);

    // Annex-B: NAL units behind start codes.
    std::span<const std::uint8_t> bytes() const;
    // The time the picture was sent with; none when the encoder gave none.
    std::optional<std::int64_t> presentationTimeNanoseconds() const;
    // None when the encoder gave no duration.
    std::optional<std::int64_t> durationNanoseconds() const;
    // The encoder's own key-frame mark.
    bool isKeyFrame() const;

private:
    AvPacketPtr packet_;
};

class VideoCompressionSession {
public:
    // Throws MediaError with the library's text when the encoder is missing
    // or refuses the settings.
    static std::unique_ptr<VideoCompressionSession> open(const VideoCompressionSettings& settings);

    ~VideoCompressionSession();
    VideoCompressionSession(const VideoCompressionSession&) = delete;
    VideoCompressionSession& operator=(const VideoCompressionSession&) = delete;

    const VideoCompressionSettings& settings() const { return settings_; }

    // Submits a yuv420p picture of the session's size with its time; a
    // forced key frame is an IDR picture. Throws MediaError.
    void send(AVFrame& picture, std::int64_t presentationTimeNanoseconds, bool forceKeyFrame);
    // The next finished packet, none while the encoder needs more input or
    // after the last one. Throws MediaError.
    std::optional<EncodedVideoPacket> receive();
    // Changes the bitrate cap and the quality from the next picture on:
    // libx264 is reconfigured in place; libx265, which cannot change them
    // while running, is replaced by a new encoder opened with them, and the
    // old one finished (its last packets still come out of receive()
    // first), so its first picture is an IDR picture. Throws MediaError,
    // and the session goes on unchanged.
    void setBitrateAndQuality(std::int64_t bitrate, double quality);
    // Ends the input: receive() then returns what is left, then none.
    void finish();

private:
    VideoCompressionSession(VideoCompressionSettings settings, AvCodecContextPtr context);

    VideoCompressionSettings settings_;
    AvCodecContextPtr context_;
    // Packets left by an encoder that a bitrate change replaced.
    std::deque<EncodedVideoPacket> retiredPackets_;
};

}  // namespace zentrabo::platform
