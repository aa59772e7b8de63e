#pragma once
// What a stream session needs of its video encoder. The session calls every
// member on its encoder queue, one call at a time; finished frames leave
// through the callback the encoder was made with, on whatever thread the
// codec produces them.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/imaging/image.hpp"
#include "screenstream/codec/remote_screen_stream_frame.hpp"

struct AVFrame;

namespace zentrabo {

// One captured picture and the capture clock's time it was taken at: RGBA,
// or already a yuv420p picture in the encoder's format (image then empty).
struct CapturedVideoFrame {
    platform::RgbaImage image;
    std::chrono::nanoseconds presentationTime{0};
    std::shared_ptr<AVFrame> encoderPicture;
};

// Where an encoder hands its configuration and video frames.
using EncodedFrameHandler = std::function<void(RemoteScreenStreamFrame)>;

class VideoEncoder {
public:
    virtual ~VideoEncoder() = default;

    // Encodes one frame; a frame of another size than the encoder's is
    // skipped silently. Throws RemoteScreenStreamServerError::encodingFailed.
    virtual void encode(const CapturedVideoFrame& frame) = 0;
    // Makes the next submitted frame a key frame (one shot).
    virtual void requestKeyFrame() = 0;
    // Lowers the bitrate under transport pressure, at most once a second.
    virtual void reduceBitrateForTransportPressure() = 0;
    // Completes the pending frames and frees the codec; nothing is encoded
    // afterwards.
    virtual void shutdown() = 0;
};

}  // namespace zentrabo
