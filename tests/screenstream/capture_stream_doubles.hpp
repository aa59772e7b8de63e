#pragma once
// Doubles around a session's capture: the desktop's capture stream with the
// updates it is given, each kind passed on, refused or held by the test, and
// an encoder that counts what the session asks of it.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/clock.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo::testing {

class ScriptedCaptureStream final : public platform::CaptureStream {
public:
    enum class Answer { pass, fail, hold };

    explicit ScriptedCaptureStream(std::shared_ptr<platform::CaptureStream> inner) : inner_(std::move(inner)) {}
    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override {
        inner_->addScreenOutput(outputsOn.value_or(std::move(executor)), std::move(output));
    }
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override {
        inner_->addAudioOutput(outputsOn.value_or(std::move(executor)), std::move(output));
    }
    void startCapture(Completion completion) override {
        if (!passesStart) return completion(std::nullopt);
        inner_->startCapture(std::move(completion));
    }
    void stopCapture(Completion completion) override { inner_->stopCapture(std::move(completion)); }
    void updateContentFilter(platform::ContentFilter filter, Completion completion) override {
        filters.push_back(filter);
        answer(
            filterAnswer, [this, filter](Completion done) { inner_->updateContentFilter(filter, std::move(done)); },
            std::move(completion));
    }
    void updateConfiguration(platform::StreamConfiguration configuration, Completion completion) override {
        configurations.push_back(configuration);
        answer(
            configurationAnswer,
            [this, configuration](Completion done) { inner_->updateConfiguration(configuration, std::move(done)); },
            std::move(completion));
    }

    bool isHolding() {
        std::lock_guard guard(mutex_);
        return static_cast<bool>(held_);
    }
    // Answers the held update: passed on to the desktop's stream, or refused.
    void release(bool refused) {
        std::function<void(bool)> held;
        {
            std::lock_guard guard(mutex_);
            held = std::exchange(held_, nullptr);
        }
        held(refused);
    }

    // Where the desktop's stream delivers (and times its updates), in place
    // of the executor the pipeline asks for.
    std::optional<asio::any_io_executor> outputsOn;
    // Whether the desktop's stream really starts capturing; without, its
    // start is answered at once and nothing is captured.
    bool passesStart = true;
    // Set before the updates; the records are read once they have returned.
    Answer filterAnswer = Answer::pass;
    Answer configurationAnswer = Answer::pass;
    std::vector<platform::ContentFilter> filters;
    std::vector<platform::StreamConfiguration> configurations;

private:
    void answer(Answer how, std::function<void(Completion)> pass, Completion completion) {
        if (how == Answer::pass) return pass(std::move(completion));
        if (how == Answer::fail) return completion(platform::ScreenCaptureError("The capture refused."));
        std::lock_guard guard(mutex_);
        held_ = [pass = std::move(pass), completion = std::move(completion)](bool refused) {
            if (refused) return completion(platform::ScreenCaptureError("The capture refused."));
            pass(completion);
        };
    }

    std::shared_ptr<platform::CaptureStream> inner_;
    std::mutex mutex_;
    std::function<void(bool)> held_;
};

// A capture stream that captures nothing by itself: its start answers at
// once, or after a wait on the clock (answered on `waiter`) that its stop
// cancels; the test hands it sound and makes it stop with an error, as a
// real stream would.
class QuietCaptureStream final : public platform::CaptureStream {
public:
    QuietCaptureStream(platform::CaptureStreamStopHandler onStop, platform::Clock& clock, double startSeconds,
                       asio::any_io_executor waiter)
        : onStop_(std::move(onStop)), clock_(clock), startSeconds_(startSeconds), waiter_(std::move(waiter)) {}
    void addScreenOutput(asio::any_io_executor, ScreenOutput) override {}
    void addAudioOutput(asio::any_io_executor, AudioOutput output) override {
        std::lock_guard guard(mutex_);
        audioOutput_ = std::move(output);
    }
    void startCapture(Completion completion) override {
        if (startSeconds_ <= 0) return completion(std::nullopt);
        std::lock_guard guard(mutex_);
        startWait_ = clock_.schedule(waiter_, startSeconds_, [completion] { completion(std::nullopt); });
    }
    void stopCapture(Completion completion) override {
        {
            std::lock_guard guard(mutex_);
            startWait_.cancel();
            ++stops;
        }
        completion(std::nullopt);
    }
    void updateContentFilter(platform::ContentFilter, Completion completion) override { completion(std::nullopt); }
    void updateConfiguration(platform::StreamConfiguration, Completion completion) override {
        completion(std::nullopt);
    }

    // Sound as capture hands it over, on the caller's thread.
    void deliverSound() {
        AudioOutput output;
        {
            std::lock_guard guard(mutex_);
            output = audioOutput_;
        }
        if (output) output({});
    }
    void stopWith(const std::string& description) { onStop_(platform::ScreenCaptureError(description)); }

    std::atomic<int> stops{0};

private:
    platform::CaptureStreamStopHandler onStop_;
    platform::Clock& clock_;
    const double startSeconds_;
    const asio::any_io_executor waiter_;
    std::mutex mutex_;
    AudioOutput audioOutput_;
    platform::Timer startWait_;
};

class CountingVideoEncoder final : public VideoEncoder {
public:
    void encode(const CapturedVideoFrame&) override {}
    void requestKeyFrame() override { ++keyFrameRequests; }
    void reduceBitrateForTransportPressure() override {}
    void shutdown() override { ++shutdowns; }
    std::atomic<int> keyFrameRequests{0};
    std::atomic<int> shutdowns{0};
};

}  // namespace zentrabo::testing
