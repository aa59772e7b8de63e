#pragma once
// The clipboard of an X11 session: the CLIPBOARD selection. Written text is
// owned by a window of ours and handed out as UTF8_STRING, TEXT and STRING
// (and TARGETS); large data goes in increments (INCR) both ways. Another
// owner's data is read on a connection of the caller's with every wait
// bounded. The change count moves whenever the selection changes owner, as
// XFixes reports it. A thread of its own answers other clients' requests.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/pasteboard.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11Pasteboard final : public Pasteboard {
public:
    // The largest target read from another owner; a larger one is left out.
    static constexpr std::size_t maximumTargetSize = maximumPasteboardTypeBytes;
    // Data above this goes in increments of this size.
    static constexpr std::size_t incrementSize = 256 * 1024;
    // The most all of its types together take from another owner.
    static constexpr std::size_t maximumTotalSize = maximumPasteboardTotalBytes;
    // How long a whole reading of another owner's data may take (its list of
    // targets, each target, every increment), and how long an increment
    // handed out waits for its reader before it is given up.
    static constexpr std::chrono::seconds transferDeadline{5};

    // Connects to the display; throws X11Error when it cannot be reached.
    explicit X11Pasteboard(const std::string& display);
    ~X11Pasteboard() override;
    X11Pasteboard(const X11Pasteboard&) = delete;
    X11Pasteboard& operator=(const X11Pasteboard&) = delete;

    std::vector<PasteboardItem> items() override;
    std::int64_t clearContents() override;
    bool setString(const std::string& text) override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    std::optional<std::string> string() override;
    std::int64_t changeCount() override;
    PasteboardTypesLeftOut typesLeftOut() override;

private:
    // Target atom name to its data, as owned by us.
    using Contents = std::map<std::string, std::vector<std::uint8_t>>;
    // An increment transfer to a reader, moved on as it deletes the property.
    struct Outgoing {
        xcb_window_t requestor = 0;
        xcb_atom_t property = 0;
        xcb_atom_t type = 0;
        std::vector<std::uint8_t> data;
        std::size_t offset = 0;
        std::chrono::steady_clock::time_point lastStep;
    };

    // Takes the selection with the contents; false when the server refuses.
    bool own(Contents contents);
    // Makes the window that owns the selection on the current connection and
    // watches the selection's owner; false when the server does not answer.
    bool setUpOwnerLocked();
    // The serving connection, connected and set up anew after it broke or
    // the server hung up; false while the display is away.
    bool ownerUsableLocked();
    void serve();
    void handle(xcb_generic_event_t* event);
    void answer(const xcb_selection_request_event_t& request);
    void sendNextIncrement(Outgoing& transfer);
    void dropStalledTransfers();

    std::string display_;
    // Guards the serving connection and what is set up on it (taken before
    // mutex_): a reconnection replaces both while the thread may be serving.
    std::mutex connectionMutex_;
    std::mutex mutex_;
    // The serving side: its connection, window and thread; only the thread
    // reads events.
    X11Connection connection_;
    std::uint64_t ownerOpening_ = 0;
    bool ownerReady_ = true;
    xcb_window_t window_ = 0;
    std::uint8_t xfixesEventBase_ = 0;
    xcb_atom_t clipboard_ = XCB_ATOM_NONE, targets_ = XCB_ATOM_NONE, utf8String_ = XCB_ATOM_NONE, incr_ = XCB_ATOM_NONE;
    int wakeup_ = -1;
    std::thread thread_;

    std::optional<Contents> owned_;
    // The owned targets by their atoms.
    std::map<xcb_atom_t, std::string> ownedTargets_;
    std::vector<Outgoing> outgoing_;
    std::int64_t changeCount_ = 0;
    PasteboardTypesLeftOut typesLeftOut_;
};

}  // namespace zentrabo::platform
