#pragma once
// Screen capture on a GNOME Wayland session through mutter's ScreenCast:
// allowed while ScreenCast answers (it asks no one); the shareable content
// from the displays and the shell extension's windows; a display or window
// picture is the first frame of a recording of it; streams are
// GnomeCaptureStreams. Sound comes from the session's sound server
// (pipewire-pulse on GNOME), as on X11; what is known of that server comes
// from a watch that the streams report to.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/gnome/gnome_capture_target.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/sound_server_watch.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class GnomeScreenCapture final : public ScreenCapture {
public:
    GnomeScreenCapture(GnomeCaptureTarget target, Clock& clock);

    bool preflightAccess() override;
    bool requestAccess() override { return preflightAccess(); }
    std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override;
    std::optional<RgbaImage> displayImage(DisplayID display) override;
    std::optional<RgbaImage> windowImage(WindowID window) override;
    std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                     CaptureStreamStopHandler onStop) override;
    double pointPixelScale(const ContentFilter& filter) override;
    SoundAvailability soundAvailability() override { return soundWatch_->availability(); }
    void whenStreamSoundChanges(std::function<void(const std::optional<std::string>& problem)> handler) override {
        soundWatch_->whenStreamSoundChanges(std::move(handler));
    }

private:
    // The first frame of a recording of the filter; none when it cannot be
    // recorded or shows nothing in time.
    std::optional<RgbaImage> firstFrame(const ContentFilter& filter);

    const GnomeCaptureTarget target_;
    Clock& clock_;
    const std::shared_ptr<SoundServerWatch> soundWatch_;
};

}  // namespace zentrabo::platform
