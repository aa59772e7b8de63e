#pragma once
// Reading a selection's data from its owner as ICCCM describes it, on a
// connection of its own, so that the events it waits for are its alone:
// ConvertSelection, then the property at once or in increments (INCR).
// All its waits share one deadline, set when it is made, so an owner that
// answers slowly or not at all holds a whole reading (every target, every
// increment) no longer than that; nothing larger than the maximum is kept.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// The reply to a request, waited for at most the deadline; none on an error,
// a broken connection or a late reply. Unlike X11Connection::reply, it leaves
// the events that arrive meanwhile queued for their reader.
template <typename Reply, typename Cookie>
X11Reply<Reply> boundedReply(xcb_connection_t* connection, Cookie cookie, std::chrono::milliseconds deadline);
void* boundedReplyData(xcb_connection_t* connection, unsigned int sequence, std::chrono::milliseconds deadline);
// The same, waited for until the end at the latest.
void* boundedReplyDataUntil(xcb_connection_t* connection, unsigned int sequence,
                            std::chrono::steady_clock::time_point end);

template <typename Reply, typename Cookie>
X11Reply<Reply> boundedReply(xcb_connection_t* connection, Cookie cookie, std::chrono::milliseconds deadline) {
    return X11Reply<Reply>(static_cast<Reply*>(boundedReplyData(connection, cookie.sequence, deadline)));
}

// An atom interned on the connection; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name);

class X11SelectionReader {
public:
    enum class Outcome { read, tooLarge, failed };
    struct Result {
        Outcome outcome = Outcome::failed;
        std::vector<std::uint8_t> data;
        // The property's type, as the owner named it.
        xcb_atom_t type = XCB_ATOM_NONE;
    };

    // Connects to the display; throws X11Error when it cannot be reached.
    // Every reading through it ends by the deadline, counted from now.
    // The owner delivers into a property of its window named by the product
    // identity, which must be set (productIdentity()).
    X11SelectionReader(const std::string& display, std::chrono::milliseconds deadline);
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    xcb_connection_t* connection() const { return connection_.get(); }
    // The selection converted to the target, at most maximum bytes.
    Result read(xcb_atom_t selection, xcb_atom_t target, std::size_t maximum);
    // The names of the atoms in a TARGETS answer.
    std::vector<std::string> targets(xcb_atom_t selection);
    // True once the deadline has passed: every further reading fails.
    bool expired() const;

private:
    // The next event of the type for our window, waiting at most until the end.
    X11Reply<xcb_generic_event_t> nextEvent(std::uint8_t type);
    // Reads and deletes the property: its type and data, at most maximum + 1 bytes.
    std::optional<Result> takeProperty(std::size_t maximum);

    X11Connection connection_;
    std::chrono::steady_clock::time_point end_;
    xcb_window_t window_ = 0;
    xcb_atom_t property_ = XCB_ATOM_NONE;
    xcb_atom_t incr_ = XCB_ATOM_NONE;
};

}  // namespace zentrabo::platform
