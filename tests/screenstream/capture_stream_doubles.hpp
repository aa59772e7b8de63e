#pragma once
// Doubles around a session's capture: the desktop's capture stream with the
// updates it is given, each kind passed on, refused or held by the test, and
// an encoder that counts what the session asks of it.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/desktop/capture_stream.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo::testing {

class ScriptedCaptureStream final : public platform::CaptureStream {
public:
    enum class Answer { pass, fail, hold };

    explicit ScriptedCaptureStream(std::shared_ptr<platform::CaptureStream> inner) : inner_(std::move(inner)) {}
    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override {
        inner_->addScreenOutput(std::move(executor), std::move(output));
    }
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override {
        inner_->addAudioOutput(std::move(executor), std::move(output));
    }
    void startCapture(Completion completion) override { inner_->startCapture(std::move(completion)); }
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
