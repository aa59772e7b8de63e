// What captures of the virtual desktop hear, and the audio switches for tests.
#include <stdexcept>
#include <type_traits>

#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

VirtualDesktop::AudioSnapshot VirtualDesktop::audioSnapshot(const ContentFilter& filter) {
    auto lock = settle();
    if (!screenRecordingAllowed_) throw ScreenCaptureError("Screen recording is not allowed.");
    if (audioCaptureFailure_) throw ScreenCaptureError(*audioCaptureFailure_);
    // Every application for a display, else the one the filter names.
    const std::optional<ProcessID> source = std::visit(
        [this](const auto& content) -> std::optional<ProcessID> {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, WindowContentFilter>) {
                const auto window = windows_.find(content.window);
                return window == windows_.end() ? ProcessID{0} : window->second.owner;
            } else if constexpr (std::is_same_v<Content, ApplicationContentFilter>) {
                return content.application;
            } else {
                return std::nullopt;
            }
        },
        filter);
    AudioSnapshot snapshot;
    snapshot.delivery = audioDelivery_;
    for (const auto& application : applications_) {
        if (!application.spec.tone || (source && application.pid != *source)) continue;
        snapshot.tones.push_back(*application.spec.tone);
    }
    return snapshot;
}

void VirtualDesktop::setAudioCaptureFailure(std::optional<std::string> error) {
    std::lock_guard lock(mutex_);
    audioCaptureFailure_ = std::move(error);
}

void VirtualDesktop::setAudioDeliveryFormat(AudioDeliveryFormat format) {
    if (format.sampleRate && (*format.sampleRate < 8000 || *format.sampleRate > 192000)) {
        throw std::invalid_argument("The audio delivery rate must be 8000 to 192000 Hz.");
    }
    std::lock_guard lock(mutex_);
    audioDelivery_ = format;
}

}  // namespace zentrabo::platform
