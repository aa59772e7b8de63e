#pragma once
// One recording through mutter's org.gnome.Mutter.ScreenCast: a session
// recording one monitor (RecordMonitor) or one window (RecordWindow, by the
// shell extension's window id), started at once, its PipeWire node consumed
// by a PipewireVideoStream. No dialog is shown; GNOME shows its
// screen-sharing indicator while it runs. Destroying it stops the session.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/pipewire_video_stream.hpp"

namespace zentrabo::platform {

class ScreenCastRecording {
public:
    // How long mutter may take to name the stream's node after the start.
    static constexpr std::chrono::milliseconds nodeTimeout{3000};

    // Each throws ScreenCaptureError: captureContentUnavailable() when mutter
    // refuses the monitor or window, another text when it does not answer.
    // The size is what the monitor or window shows, in pixels; a window's
    // pictures leave out its insets (the shadows around its frame).
    static std::unique_ptr<ScreenCastRecording> ofMonitor(std::shared_ptr<GnomeBus> bus, const std::string& connector,
                                                          Size size, bool showsCursor);
    static std::unique_ptr<ScreenCastRecording> ofWindow(std::shared_ptr<GnomeBus> bus, std::uint64_t window, Size size,
                                                         FrameInsets insets, bool showsCursor);
    ~ScreenCastRecording();
    ScreenCastRecording(const ScreenCastRecording&) = delete;
    ScreenCastRecording& operator=(const ScreenCastRecording&) = delete;

    PipewireVideoStream& video() { return *video_; }

    // ScreenCast's interface version; none when mutter does not answer.
    static std::optional<std::uint32_t> screenCastVersion(GnomeBus& bus);

private:
    explicit ScreenCastRecording(std::shared_ptr<GnomeBus> bus) : bus_(std::move(bus)) {}
    // Records what the method names (RecordMonitor or RecordWindow with its
    // parameters) and starts.
    void start(const char* method, GVariant* parameters, Size size, FrameInsets insets = {});
    void stopSession();

    std::shared_ptr<GnomeBus> bus_;
    std::string session_;
    std::unique_ptr<PipewireVideoStream> video_;
};

}  // namespace zentrabo::platform
