#pragma once
// The capture stream of a desktop that cannot stream yet: it takes outputs,
// delivers nothing, and fails to start with its reason.
#include "platform/desktop/capture_stream.hpp"

namespace zentrabo::platform {

class UnavailableCaptureStream final : public CaptureStream {
public:
    void addScreenOutput(asio::any_io_executor, ScreenOutput) override {}
    void addAudioOutput(asio::any_io_executor, AudioOutput) override {}
    void startCapture(Completion completion) override { completion(failure()); }
    void stopCapture(Completion completion) override { completion(std::nullopt); }
    void updateContentFilter(ContentFilter, Completion completion) override { completion(failure()); }
    void updateConfiguration(StreamConfiguration, Completion completion) override { completion(failure()); }

private:
    static ScreenCaptureError failure() { return ScreenCaptureError("Live capture is not available on this desktop."); }
};

}  // namespace zentrabo::platform
