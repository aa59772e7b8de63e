#pragma once
// One session of mutter's org.gnome.Mutter.RemoteDesktop with a ScreenCast
// session linked to it, recording each monitor so absolute pointer motion
// can name the stream of the monitor it lands on. It posts keys (evdev
// codes, or keysyms the current keymap has), buttons, motion and wheel
// steps, and reaches the clipboard, which mutter offers only inside such a
// session. GNOME shows its screen-sharing indicator while one is open.
// Destroying it stops both sessions.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/gnome_displays.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

// What a reading of one clipboard type gave.
struct SelectionReading {
    enum class Outcome { read, tooLarge, late, failed };
    Outcome outcome = Outcome::failed;
    std::vector<std::uint8_t> data;
};

class RemoteDesktopSession {
public:
    // How long the seat takes to set up its virtual devices after the
    // warm-up events that create them: the first event of each kind is lost.
    static constexpr double warmUpSeconds = 0.2;
    // How long a transfer of our clipboard data to a reader may take.
    static constexpr std::chrono::seconds transferDeadline{5};

    // Opens and starts a session recording the monitors given. Throws
    // GnomeBusError saying why when mutter refuses.
    static std::unique_ptr<RemoteDesktopSession> open(std::shared_ptr<GnomeBus> bus,
                                                      const std::vector<MutterMonitor>& monitors, Clock& clock);
    ~RemoteDesktopSession();
    RemoteDesktopSession(const RemoteDesktopSession&) = delete;
    RemoteDesktopSession& operator=(const RemoteDesktopSession&) = delete;

    // Whether mutter closed the session (its Closed signal).
    bool closed() const;

    bool key(std::uint32_t evdevCode, bool pressed);
    bool keysym(std::uint32_t keysym, bool pressed);
    bool button(std::int32_t evdevButton, bool pressed);
    // To a place in global points; false off every recorded monitor.
    bool moveTo(Point location);
    // Wheel steps on the vertical (0) or horizontal (1) axis, positive
    // down or right.
    bool scroll(std::uint32_t axis, std::int32_t steps);

    // The clipboard owner's types as mutter last announced them, and how many
    // times the owner has changed since the session opened.
    std::vector<std::string> ownerTypes() const;
    std::int64_t ownerChanges() const;
    bool ownsSelection() const;
    // Reads one type of another owner's clipboard, at most maximumBytes,
    // until the deadline.
    SelectionReading read(const std::string& mimeType, std::size_t maximumBytes,
                          std::chrono::steady_clock::time_point deadline);
    // Offers the data by type as the clipboard's (none empties it); false
    // when mutter refuses.
    bool offer(std::map<std::string, std::vector<std::uint8_t>> contents);

private:
    struct Stream {
        std::string path;
        Rect points;
        double scale = 1;
    };
    struct Shared;

    RemoteDesktopSession(std::shared_ptr<GnomeBus> bus, Clock& clock);
    bool notify(const char* method, GVariant* parameters);
    void warmUp();
    void stop();

    std::shared_ptr<GnomeBus> bus_;
    Clock& clock_;
    std::string remoteDesktopPath_;
    std::string screenCastPath_;
    std::vector<Stream> streams_;
    std::vector<unsigned> subscriptions_;
    // What the signal handlers share with the session: they run on the bus
    // thread.
    std::shared_ptr<Shared> shared_;
};

}  // namespace zentrabo::platform
