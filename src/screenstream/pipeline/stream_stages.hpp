#pragma once
// How a stream pipeline makes its stages: the video encoder for a picture
// size, the audio encoder and the capture streams. The desktop's own are the
// real ones; tests put doubles in their place.
#include <functional>
#include <memory>

#include "model/records/stream_records.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/dispatch/clock.hpp"
#include "screenstream/audio_encoder.hpp"
#include "screenstream/client_native_target_size.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo {

struct StreamStages {
    // Throws RemoteScreenStreamServerError::encodingFailed.
    using VideoEncoderMaker = std::function<std::shared_ptr<VideoEncoder>(
        const RemoteScreenStreamRequest& request, PixelSize size, int framesPerSecond, EncodedFrameHandler onFrame,
        const platform::Clock& clock)>;
    using AudioEncoderMaker =
        std::function<std::shared_ptr<AudioEncoder>(int channelCount, EncodedFrameHandler onFrame)>;
    using CaptureStreamMaker = std::function<std::shared_ptr<platform::CaptureStream>(
        const platform::ContentFilter& filter, const platform::StreamConfiguration& configuration,
        platform::CaptureStreamStopHandler onStop)>;

    VideoEncoderMaker videoEncoder;
    AudioEncoderMaker audioEncoder;
    CaptureStreamMaker captureStream;
};

// The request's codec (makeVideoEncoder), PCM audio and the capture's own
// streams; the capture must outlive every stream it makes.
StreamStages desktopStreamStages(platform::ScreenCapture& capture);

}  // namespace zentrabo
