// The pipeline's start: its stages made for the selection, kept together,
// and capture started, once more without sound when sound cannot start.
#include <array>
#include <exception>
#include <system_error>
#include <utility>

#include <asio/error.hpp>

#include "model/diagnostic_log.hpp"
#include "screenstream/pipeline/stream_pipeline.hpp"

namespace zentrabo {

namespace {

EncodedFrameHandler framesTo(std::weak_ptr<StreamPipeline> weakPipeline) {
    return [weakPipeline = std::move(weakPipeline)](RemoteScreenStreamFrame frame) {
        if (auto pipeline = weakPipeline.lock()) pipeline->send(frame);
    };
}

std::system_error stoppedBeforeStarting() { return std::system_error(asio::error::operation_aborted); }

bool isCancellation(const std::exception& error) {
    const auto* systemError = dynamic_cast<const std::system_error*>(&error);
    return systemError && systemError->code() == asio::error::operation_aborted;
}

}  // namespace

asio::awaitable<void> StreamPipeline::start(SelectedContent selected, StreamStages stages) {
    {
        std::lock_guard guard(lock_);
        if (isStopped_) throw stoppedBeforeStarting();
        makers_ = std::move(stages);
    }
    const PixelSize source{selected.sourceWidth, selected.sourceHeight};
    const PixelSize output = captureOutputSize(request_, source);
    const int framesPerSecond = captureFramesPerSecond(request_);
    platform::StreamConfiguration configuration = captureConfiguration(request_, source, output, framesPerSecond);

    const bool capturesAudio = request_.capturesAudio.value_or(true);
    try {
        co_await startCapture(selected, configuration, framesPerSecond, capturesAudio);
        co_return;
    } catch (const std::exception& error) {
        // A stop during the start leaves nothing to retry.
        bool stopped = false;
        {
            std::lock_guard guard(lock_);
            stopped = isStopped_;
        }
        if (!capturesAudio || stopped || isCancellation(error)) throw;
        ZENTRABO_LOG(std::string("Screen stream audio capture failed; retrying video-only: ") + error.what());
    }
    configuration.capturesAudio = false;
    co_await startCapture(selected, configuration, framesPerSecond, false);
}

asio::awaitable<void> StreamPipeline::startCapture(const SelectedContent& selected,
                                                   platform::StreamConfiguration configuration, int framesPerSecond,
                                                   bool capturesAudio) {
    std::weak_ptr<StreamPipeline> weakSelf = weak_from_this();
    Stages made;
    made.encoder = newVideoEncoder({configuration.width, configuration.height}, framesPerSecond);
    if (capturesAudio) {
        std::lock_guard guard(lock_);
        made.audioEncoder = makers_.audioEncoder(configuration.channelCount, framesTo(weakSelf));
    }
    // Sound rides on the video stream unless the selection has a stream of
    // its own for it.
    const bool soundRidesOnVideo = capturesAudio && !selected.audioFilter;
    configuration.capturesAudio = soundRidesOnVideo;
    StreamStages::CaptureStreamMaker makeStream;
    {
        std::lock_guard guard(lock_);
        makeStream = makers_.captureStream;
    }
    made.stream = makeStream(selected.filter, configuration, [weakSelf](const platform::ScreenCaptureError& error) {
        if (auto self = weakSelf.lock()) self->captureStopped(error.what());
    });
    made.stream->addScreenOutput(captureQueue_.executor(), [weakSelf](platform::CapturedScreenSample sample) {
        if (auto self = weakSelf.lock()) self->handOffPicture(std::move(sample));
    });
    if (soundRidesOnVideo) {
        made.stream->addAudioOutput(captureQueue_.executor(), [weakSelf](platform::CapturedAudioSample sample) {
            if (auto self = weakSelf.lock()) self->handOffSound(std::move(sample));
        });
    }
    if (capturesAudio && selected.audioFilter) made.audioStream = makeAudioStream(*selected.audioFilter, configuration);

    const std::array streams{made.stream, made.audioStream};
    if (!install(std::move(made))) throw stoppedBeforeStarting();
    for (const auto& starting : streams) {
        if (!starting) continue;
        if (auto error = co_await captureAnswer([&starting](auto completion) { starting->startCapture(completion); })) {
            tearDown();
            throw *error;
        }
    }
    std::lock_guard guard(lock_);
    isRunning_ = !isStopped_;
}

std::shared_ptr<VideoEncoder> StreamPipeline::newVideoEncoder(const PixelSize& size, int framesPerSecond) {
    StreamStages::VideoEncoderMaker make;
    {
        std::lock_guard guard(lock_);
        make = makers_.videoEncoder;
    }
    return make(request_, size, framesPerSecond, framesTo(weak_from_this()), clock_);
}

// A stream of the application's sound alone, beside the video stream: the
// video's size and pace, nothing scaled, audio on.
std::shared_ptr<platform::CaptureStream> StreamPipeline::makeAudioStream(const platform::ContentFilter& audioFilter,
                                                                         platform::StreamConfiguration configuration) {
    std::weak_ptr<StreamPipeline> weakSelf = weak_from_this();
    configuration.scalesToFit = false;
    configuration.preservesAspectRatio = false;
    configuration.capturesAudio = true;
    // Filled once the stream exists; it stops by itself only once started.
    auto madeStream = std::make_shared<std::weak_ptr<platform::CaptureStream>>();
    StreamStages::CaptureStreamMaker makeStream;
    {
        std::lock_guard guard(lock_);
        makeStream = makers_.captureStream;
    }
    auto stream =
        makeStream(audioFilter, configuration, [weakSelf, madeStream](const platform::ScreenCaptureError& error) {
            auto self = weakSelf.lock();
            auto stopped = madeStream->lock();
            if (self && stopped) self->soundStopped(*stopped, error.what());
        });
    *madeStream = stream;
    stream->addAudioOutput(captureQueue_.executor(), [weakSelf](platform::CapturedAudioSample sample) {
        if (auto self = weakSelf.lock()) self->handOffSound(std::move(sample));
    });
    return stream;
}

bool StreamPipeline::install(Stages stages) {
    {
        std::lock_guard guard(lock_);
        if (!isStopped_) {
            stages_ = std::move(stages);
            return true;
        }
    }
    shutDown(std::move(stages));
    return false;
}

}  // namespace zentrabo
