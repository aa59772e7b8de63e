#include "screenstream/pipeline/stream_pipeline.hpp"

#include <exception>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace zentrabo {

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
        encoder->encode(
            CapturedVideoFrame{std::move(sample.image), sample.presentationTime, std::move(sample.encoderPicture)});
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
