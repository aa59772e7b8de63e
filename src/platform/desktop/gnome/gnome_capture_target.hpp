#pragma once
// What a content filter records on a GNOME Wayland session: a display is its
// monitor (RecordMonitor by connector); a window is that window
// (RecordWindow); an application is its frontmost window that is not
// minimized, since mutter records single windows or whole monitors only.
#include <functional>
#include <memory>

#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/gnome/gnome_displays.hpp"
#include "platform/desktop/gnome/screencast_recording.hpp"
#include "platform/desktop/gnome/shell_windows.hpp"

namespace zentrabo::platform {

struct GnomeCaptureTarget {
    std::shared_ptr<GnomeBus> bus;
    std::shared_ptr<ShellWindows> windows;
    std::shared_ptr<GnomeDisplays> displays;

    // A recording of what the filter shows. Throws ScreenCaptureError
    // (captureContentUnavailable() when it is not there).
    std::unique_ptr<ScreenCastRecording> record(const ContentFilter& filter, bool showsCursor) const;
};

}  // namespace zentrabo::platform
