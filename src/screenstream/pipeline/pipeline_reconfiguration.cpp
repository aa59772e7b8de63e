// A running pipeline changes what it shows or its picture size without
// restarting: the capture's filter swapped in place, or a new encoder and the
// capture configuration for the new size. Each answer is raced with the
// clock's watchdog.
#include <string>
#include <utility>

#include "platform/dispatch/awaited_answer.hpp"
#include "screenstream/pipeline/stream_pipeline.hpp"

// GCC 12 takes the frames of the coroutines here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace zentrabo {

namespace {

using ChangeFailure = StreamPipeline::ChangeFailure;

ChangeFailure failure(ChangeFailure::Kind kind, std::string refusal = {}) { return {kind, std::move(refusal)}; }

}  // namespace

// The new encoder while the configuration update it was made for is
// pending. Whichever of the waiter and the update's answer comes first under
// the lock decides: an answer while the waiter waits is the waiter's, which
// owns the encoder; once the waiter gave up, the hand-over installs the
// encoder when the update succeeds and lets it go when the update fails or
// its answer is dropped unsent (a stopped capture stream drops them).
// Without it, a late update would deliver the new size to the old encoder,
// which skips every frame of another size: the picture would freeze.
struct StreamPipeline::ResizedEncoderHandover {
    ResizedEncoderHandover(std::weak_ptr<StreamPipeline> pipeline, std::shared_ptr<VideoEncoder> encoder)
        : pipeline(std::move(pipeline)), encoder(std::move(encoder)) {}
    ResizedEncoderHandover(const ResizedEncoderHandover&) = delete;
    ResizedEncoderHandover& operator=(const ResizedEncoderHandover&) = delete;
    ~ResizedEncoderHandover() {
        if (encoder) settle(false);
    }

    // From the update's answer: true while the waiter still waits, which
    // then takes the answer; else the hand-over settles here.
    bool answer(const CaptureResult& result) {
        {
            std::lock_guard guard(mutex);
            if (!waiterGaveUp) {
                answered = result;
                return true;
            }
        }
        settle(!result);
        return false;
    }

    // From the waiter at its deadline: the answer that came meanwhile, or
    // none, and the encoder is the hand-over's from now on.
    std::optional<CaptureResult> giveUp() {
        std::lock_guard guard(mutex);
        if (answered) return answered;
        waiterGaveUp = true;
        return std::nullopt;
    }

    // Called at most once, with the encoder still held.
    void settle(bool install) {
        auto taken = std::move(encoder);
        auto owner = pipeline.lock();
        if (!owner) {
            // Never installed, so no other thread ever used it.
            taken->shutdown();
        } else if (install) {
            owner->installResizedEncoder(std::move(taken));
        } else {
            owner->shutDown(Stages{std::move(taken), {}, {}, {}});
        }
    }

    std::weak_ptr<StreamPipeline> pipeline;
    // Empty once the waiter or the settling answer took it.
    std::shared_ptr<VideoEncoder> encoder;
    std::mutex mutex;
    bool waiterGaveUp = false;
    std::optional<CaptureResult> answered;
};

asio::awaitable<std::optional<StreamPipeline::ChangeFailure>> StreamPipeline::reconfigure(
    Change change, DroppedCaptureAnswer dropped) {
    // Held while the change waits: a session that ends meanwhile leaves its
    // pipeline to finish the change, at most changeWaitSeconds.
    const auto self = shared_from_this();
    if (auto* filter = std::get_if<platform::ContentFilter>(&change)) {
        co_return co_await changeFilter(std::move(*filter), dropped);
    }
    co_return co_await changeSize(std::get<PictureSize>(change), dropped);
}

asio::awaitable<std::optional<StreamPipeline::ChangeFailure>> StreamPipeline::changeFilter(
    platform::ContentFilter filter, DroppedCaptureAnswer dropped) {
    std::shared_ptr<platform::CaptureStream> stream;
    {
        std::lock_guard guard(lock_);
        if (isRunning_) stream = stages_.stream;
    }
    if (!stream) co_return failure(ChangeFailure::Kind::notRunning);
    const std::function<void(platform::CaptureStream::Completion)> swapFilter =
        [&stream, &filter](platform::CaptureStream::Completion completion) {
            stream->updateContentFilter(filter, std::move(completion));
        };
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    auto swap = platform::withinDeadline(clock_, changeWaitSeconds, captureAnswer(swapFilter, dropped));
    const auto answer = co_await std::move(swap);
    if (!answer) co_return failure(ChangeFailure::Kind::timedOut);
    if (const auto& error = *answer) co_return failure(ChangeFailure::Kind::refused, error->what());
    co_return std::nullopt;
}

asio::awaitable<std::optional<StreamPipeline::ChangeFailure>> StreamPipeline::changeSize(PictureSize size,
                                                                                         DroppedCaptureAnswer dropped) {
    std::shared_ptr<platform::CaptureStream> stream;
    bool soundRidesOnVideo = false;
    {
        std::lock_guard guard(lock_);
        if (isRunning_) stream = stages_.stream;
        soundRidesOnVideo = stages_.audioEncoder && !stages_.audioStream;
    }
    if (!stream) co_return failure(ChangeFailure::Kind::notRunning);
    const int framesPerSecond = captureFramesPerSecond(request_);
    const auto handover =
        std::make_shared<ResizedEncoderHandover>(weak_from_this(), newVideoEncoder(size.output, framesPerSecond));
    platform::StreamConfiguration configuration =
        captureConfiguration(request_, size.source, size.output, framesPerSecond);
    configuration.capturesAudio = soundRidesOnVideo;
    const std::function<void(platform::CaptureStream::Completion)> updateConfiguration =
        [&stream, &configuration, &handover](platform::CaptureStream::Completion completion) {
            stream->updateConfiguration(configuration, [handover, completion](CaptureResult answer) {
                if (handover->answer(answer)) completion(answer);
            });
        };
    auto update = platform::withinDeadline(clock_, changeWaitSeconds, captureAnswer(updateConfiguration, dropped));
    auto result = co_await std::move(update);
    if (!result) result = handover->giveUp();
    if (!result) co_return failure(ChangeFailure::Kind::timedOut);
    // The waiter decides: the encoder is its own now.
    std::shared_ptr<VideoEncoder> encoder = std::move(handover->encoder);
    if (const auto& error = *result) {
        shutDown(Stages{std::move(encoder), {}, {}, {}});
        co_return failure(ChangeFailure::Kind::refused, error->what());
    }
    installResizedEncoder(std::move(encoder));
    co_return std::nullopt;
}

void StreamPipeline::installResizedEncoder(std::shared_ptr<VideoEncoder> encoder) {
    // On the encoder queue: the new encoder replaces the current one, which
    // is shut down there, and starts with a key frame; after the stop it is
    // shut down instead.
    encoderQueue_.post([weakSelf = weak_from_this(), encoder = std::move(encoder)] {
        bool installed = false;
        std::shared_ptr<VideoEncoder> retired;
        if (auto self = weakSelf.lock()) {
            std::lock_guard guard(self->lock_);
            if (!self->isStopped_) {
                retired = std::exchange(self->stages_.encoder, encoder);
                installed = true;
            }
        }
        if (!installed) {
            encoder->shutdown();
            return;
        }
        if (retired) retired->shutdown();
        encoder->requestKeyFrame();
    });
}

}  // namespace zentrabo
