#pragma once
// Screen capture on an X11 session: no permission model (capture is always
// allowed), shareable content from the managed windows and the monitors,
// display pictures through MIT-SHM. Window pictures and live streams are not
// offered yet: those answers are the ones of a capture that cannot.
#include <mutex>
#include <string>

#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11Displays;

class X11ScreenCapture final : public ScreenCapture {
public:
    // The displays service must outlive this. Throws X11Error when the
    // display cannot be reached.
    X11ScreenCapture(const std::string& display, X11Displays& displays);

    bool preflightAccess() override { return true; }
    bool requestAccess() override { return true; }
    std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override;
    std::optional<RgbaImage> displayImage(DisplayID display) override;
    std::optional<RgbaImage> windowImage(WindowID) override { return std::nullopt; }
    std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                     CaptureStreamStopHandler onStop) override;
    // Points are pixels on X11.
    double pointPixelScale(const ContentFilter&) override { return 1; }

private:
    X11Displays& displays_;
    std::mutex mutex_;
    X11Connection connection_;
};

}  // namespace zentrabo::platform
