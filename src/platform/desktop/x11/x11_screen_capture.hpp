#pragma once
// Screen capture on an X11 session: no permission model (capture is always
// allowed), shareable content from the managed windows and the monitors,
// display pictures through MIT-SHM, window pictures through Composite (the
// root's subwindows are redirected from the start, so a covered window keeps
// its pixels) and live streams (X11CaptureStream). What is known of the
// session's sound server comes from a watch that its streams report to.
#include <memory>
#include <mutex>
#include <string>

#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/sound_server_watch.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11Displays;

class X11ScreenCapture final : public ScreenCapture {
public:
    // The displays service and the clock must outlive this. Throws X11Error
    // when the display cannot be reached.
    X11ScreenCapture(const std::string& display, X11Displays& displays, Clock& clock);

    bool preflightAccess() override { return true; }
    bool requestAccess() override { return true; }
    std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override;
    std::optional<RgbaImage> displayImage(DisplayID display) override;
    // The server's pixels in the shared segment, in their own byte order.
    bool withDisplayPixels(DisplayID display, const std::function<void(const PackedPixels&)>& use) override;
    // The window's frame, title bar included, even while covered; none while
    // it is minimized or when it is gone.
    std::optional<RgbaImage> windowImage(WindowID window) override;
    std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                     CaptureStreamStopHandler onStop) override;
    // Points are pixels on X11.
    double pointPixelScale(const ContentFilter&) override { return 1; }
    SoundAvailability soundAvailability() override { return soundWatch_->availability(); }
    void whenStreamSoundChanges(std::function<void(const std::optional<std::string>&)> handler) override {
        soundWatch_->whenStreamSoundChanges(std::move(handler));
    }

private:
    // The display's place on the root window; none for an unknown display
    // or one that starts left of or above it.
    std::optional<PixelRect> displayArea(DisplayID display);
    // The connection, connected anew after a break; with mutex_ held.
    bool connectionUsableLocked();

    const std::string display_;
    X11Displays& displays_;
    Clock& clock_;
    std::mutex mutex_;
    X11Connection connection_;
    ShmImageReader pictures_;
    // The segment the streams' pictures go through in turn; shared with
    // them, since they may outlive this.
    const std::shared_ptr<ShmSegmentShare> streamSegment_ = std::make_shared<ShmSegmentShare>();
    // Shared with the streams, which may outlive this.
    std::shared_ptr<SoundServerWatch> soundWatch_;
};

}  // namespace zentrabo::platform
