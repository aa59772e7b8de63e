#pragma once
// Screen capture: the permission, the shareable content that capture chooses
// from, still images of displays and windows, and live capture streams.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/displays.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

struct ShareableDisplay {
    DisplayID displayID = 0;
    std::int64_t width = 0;  // points
    std::int64_t height = 0;
    Rect frame;
    bool operator==(const ShareableDisplay&) const = default;
};

struct ShareableApplication {
    ProcessID processID = 0;
    std::string bundleIdentifier;
    std::string applicationName;
    bool operator==(const ShareableApplication&) const = default;
};

struct ShareableWindow {
    WindowID windowID = 0;
    Rect frame;
    std::optional<std::string> title;
    std::int64_t windowLayer = 0;
    bool isOnScreen = false;
    std::optional<ShareableApplication> owningApplication;
    bool operator==(const ShareableWindow&) const = default;
};

struct ShareableContent {
    std::vector<ShareableDisplay> displays;
    std::vector<ShareableWindow> windows;  // front to back
    std::vector<ShareableApplication> applications;
};

// What is known of the sound that capture streams can carry.
struct SoundAvailability {
    enum class State { checking, available, unavailable };
    State state = State::checking;
    // Why there is no sound, for the user: "no sound server answers
    // (Connection refused)"; empty unless unavailable.
    std::string problem;
};

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // Whether capture is allowed; never prompts.
    virtual bool preflightAccess() = 0;
    // Asks for the permission (the prompt) and answers the state.
    virtual bool requestAccess() = 0;

    // Fails (none) without the permission.
    virtual std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) = 0;
    // The display's picture at its pixel size; none for an unknown display.
    virtual std::optional<RgbaImage> displayImage(DisplayID display) = 0;
    // The same picture handed to `use` as the capture holds it, valid during
    // the call, so that a consumer taking any byte order (a JPEG encoder)
    // needs no RGBA copy; false, without calling it, when displayImage would
    // give none. By default the pixels of displayImage.
    virtual bool withDisplayPixels(DisplayID display, const std::function<void(const PackedPixels&)>& use);
    // One window alone at the best resolution; none when it cannot be
    // captured (unknown window, or no permission).
    virtual std::optional<RgbaImage> windowImage(WindowID window) = 0;

    // A stream of the filter's content, not yet started; onStop hears of a
    // running stream that stopped by itself.
    virtual std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                             CaptureStreamStopHandler onStop) = 0;
    // Pixels per point of what the filter shows; 0 when it is not known.
    virtual double pointPixelScale(const ContentFilter& filter) = 0;

    // What is known now; never waits for a sound server.
    virtual SoundAvailability soundAvailability() = 0;
    // The handler hears, on a thread of the desktop's, why a stream that
    // asked for sound runs without it: once, and again only after sound
    // could be had in between; and none once a stream has sound again after
    // that (its sound server came back).
    virtual void whenStreamSoundChanges(std::function<void(const std::optional<std::string>& problem)> handler) = 0;
};

}  // namespace zentrabo::platform
