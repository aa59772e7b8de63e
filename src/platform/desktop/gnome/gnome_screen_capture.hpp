#pragma once
// Screen capture on a GNOME Wayland session through mutter's ScreenCast:
// allowed while ScreenCast answers (it asks no one); the shareable content
// from the displays and the shell extension's windows; a display or window
// picture is the first frame of a recording of it; streams are
// GnomeCaptureStreams. Sound is not captured on this desktop yet, and says so.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/gnome/gnome_capture_target.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class GnomeScreenCapture final : public ScreenCapture {
public:
    // Why streams carry no sound here.
    static constexpr const char* soundProblem = "sound is not captured on GNOME Wayland yet";

    GnomeScreenCapture(GnomeCaptureTarget target, Clock& clock) : target_(std::move(target)), clock_(clock) {}

    bool preflightAccess() override;
    bool requestAccess() override { return preflightAccess(); }
    std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override;
    std::optional<RgbaImage> displayImage(DisplayID display) override;
    std::optional<RgbaImage> windowImage(WindowID window) override;
    std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                     CaptureStreamStopHandler onStop) override;
    double pointPixelScale(const ContentFilter& filter) override;
    SoundAvailability soundAvailability() override;
    void whenStreamSoundChanges(std::function<void(const std::optional<std::string>& problem)> handler) override;

private:
    // The first frame of a recording of the filter; none when it cannot be
    // recorded or shows nothing in time.
    std::optional<RgbaImage> firstFrame(const ContentFilter& filter);

    const GnomeCaptureTarget target_;
    Clock& clock_;
    std::mutex mutex_;
    std::function<void(const std::optional<std::string>&)> soundHandler_;
    bool soundProblemTold_ = false;
};

}  // namespace zentrabo::platform
