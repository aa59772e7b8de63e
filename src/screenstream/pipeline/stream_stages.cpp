#include "screenstream/pipeline/stream_stages.hpp"

#include <utility>

#include "screenstream/make_video_encoder.hpp"
#include "screenstream/remote_screen_audio_encoder.hpp"

namespace zentrabo {

StreamStages desktopStreamStages(platform::ScreenCapture& capture) {
    return {
        [](const RemoteScreenStreamRequest& request, PixelSize size, int framesPerSecond, EncodedFrameHandler onFrame,
           const platform::Clock& clock) -> std::shared_ptr<VideoEncoder> {
            return makeVideoEncoder(request, static_cast<int>(size.width), static_cast<int>(size.height),
                                    framesPerSecond, std::move(onFrame), clock);
        },
        [](int channelCount, EncodedFrameHandler onFrame) -> std::shared_ptr<AudioEncoder> {
            return std::make_shared<RemoteScreenAudioEncoder>(channelCount, std::move(onFrame));
        },
        [&capture](const platform::ContentFilter& filter, const platform::StreamConfiguration& configuration,
                   platform::CaptureStreamStopHandler onStop) {
            return capture.makeCaptureStream(filter, configuration, std::move(onStop));
        },
    };
}

}  // namespace zentrabo
