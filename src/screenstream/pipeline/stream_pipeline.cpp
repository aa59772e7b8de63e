#include "screenstream/pipeline/stream_pipeline.hpp"

#include <array>
#include <exception>
#include <system_error>
#include <utility>

#include <asio/error.hpp>

#include "model/diagnostic_log.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"

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

StreamPipeline::StreamPipeline(RemoteScreenStreamRequest request, platform::Clock& clock,
                               std::shared_ptr<asio::io_context> pool, std::shared_ptr<StreamConnection> connection,
                               Events events)
    : request_(std::move(request)),
      clock_(clock),
      connection_(std::move(connection)),
      events_(std::move(events)),
      captureQueue_(std::move(pool)),
      encoderQueue_(std::string(encoderThreadName)),
      admission_(request_) {}

// Start.

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

// Capture.

void StreamPipeline::handOffPicture(platform::CapturedScreenSample sample) {
    picturesToEncoder_.offer(encoderQueue_, std::move(sample),
                             [weakSelf = weak_from_this()](platform::CapturedScreenSample picture) {
                                 if (auto self = weakSelf.lock()) self->encodePicture(std::move(picture));
                             });
}

void StreamPipeline::handOffSound(platform::CapturedAudioSample sample) {
    soundToEncoder_.offer(encoderQueue_, std::move(sample),
                          [weakSelf = weak_from_this()](const platform::CapturedAudioSample& sound) {
                              if (auto self = weakSelf.lock()) self->encodeSound(sound);
                          });
}

void StreamPipeline::captureStopped(const std::string& description) { events_.ended(description); }

void StreamPipeline::soundStopped(const platform::CaptureStream& stream, const std::string& description) {
    Stages stopped;
    {
        std::lock_guard guard(lock_);
        // A stream that an earlier start or the stop let go is no longer ours.
        if (stages_.audioStream.get() != &stream) return;
        stopped.audioStream = std::move(stages_.audioStream);
        stopped.audioEncoder = std::move(stages_.audioEncoder);
    }
    ZENTRABO_LOG("Screen stream app audio capture stopped: " + description);
    shutDown(std::move(stopped));
}

// Encode.

void StreamPipeline::encodePicture(platform::CapturedScreenSample sample) {
    std::shared_ptr<VideoEncoder> encoder;
    {
        std::lock_guard guard(lock_);
        encoder = stages_.encoder;
    }
    if (!encoder) return;
    try {
        encoder->encode(CapturedVideoFrame{std::move(sample.image), sample.presentationTime});
    } catch (const std::exception& error) {
        events_.ended(error.what());
    }
}

void StreamPipeline::encodeSound(const platform::CapturedAudioSample& sample) {
    std::shared_ptr<AudioEncoder> encoder;
    {
        std::lock_guard guard(lock_);
        encoder = stages_.audioEncoder;
    }
    if (!encoder) return;
    try {
        encoder->encode(sample);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Screen stream audio encode failed: ") + error.what());
    }
}

void StreamPipeline::requestKeyFrame() {
    onEncoder([](VideoEncoder& encoder) { encoder.requestKeyFrame(); });
}

void StreamPipeline::onEncoder(std::function<void(VideoEncoder&)> work) {
    // On the encoder queue, so it never races with a picture's encoding, and
    // with the encoder current then: none after the stop.
    encoderQueue_.post([weakSelf = weak_from_this(), work = std::move(work)] {
        auto self = weakSelf.lock();
        if (!self) return;
        std::shared_ptr<VideoEncoder> encoder;
        {
            std::lock_guard guard(self->lock_);
            encoder = self->stages_.encoder;
        }
        if (encoder) work(*encoder);
    });
}

// Send.

void StreamPipeline::send(const RemoteScreenStreamFrame& frame) {
    // Every receiver refuses a longer payload and could not read on past it.
    if (frame.payload.size() > RemoteScreenStreamWire::maximumPayloadLength) {
        ZENTRABO_LOG("Screen stream frame dropped: payload of " + std::to_string(frame.payload.size()) +
                     " bytes is too large to send");
        if (isKeyFrame(frame)) requestKeyFrame();
        return;
    }
    std::vector<std::uint8_t> bytes = RemoteScreenStreamWire::encode(frame);
    const auto byteCount = static_cast<std::int64_t>(bytes.size());
    switch (admission_.admit(frame, byteCount)) {
    case TransportAdmission::Verdict::admitted:
        break;
    case TransportAdmission::Verdict::refused:
        return;
    case TransportAdmission::Verdict::refusedUnderPressure:
        requestKeyFrame();
        onEncoder([](VideoEncoder& encoder) { encoder.reduceBitrateForTransportPressure(); });
        return;
    }
    connection_->send(std::move(bytes), [weakSelf = weak_from_this(), byteCount](std::error_code error) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->admission_.release(byteCount);
        if (error) {
            self->events_.ended(std::nullopt);
            return;
        }
        self->events_.sent();
    });
}

// Stop.

bool StreamPipeline::isRunning() {
    std::lock_guard guard(lock_);
    return isRunning_;
}

void StreamPipeline::stop() {
    Stages stages;
    {
        std::lock_guard guard(lock_);
        if (isStopped_) return;
        isStopped_ = true;
        isRunning_ = false;
        stages = takeStagesLocked();
    }
    admission_.close();
    shutDown(std::move(stages));
}

void StreamPipeline::tearDown() {
    Stages stages;
    {
        std::lock_guard guard(lock_);
        stages = takeStagesLocked();
    }
    shutDown(std::move(stages));
}

StreamPipeline::Stages StreamPipeline::takeStagesLocked() { return std::exchange(stages_, {}); }

void StreamPipeline::shutDown(Stages stages) {
    // After any encoding still running there: the stopping thread never
    // touches a codec (a converter must never be used from two threads).
    if (stages.encoder || stages.audioEncoder) {
        encoderQueue_.post([encoder = std::move(stages.encoder), audioEncoder = std::move(stages.audioEncoder)] {
            if (encoder) encoder->shutdown();
            if (audioEncoder) audioEncoder->reset();
        });
    }
    for (const auto& stream : {stages.stream, stages.audioStream}) {
        if (stream) stream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
    }
}

}  // namespace zentrabo
