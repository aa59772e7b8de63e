#pragma once
// One connection to an X server, with every wait for a reply bounded: a
// server that stops answering makes a call fail after replyDeadline instead
// of hanging the thread that asked. The connection is then given up (every
// later wait fails at once) until usable() makes a new one. Closing makes a
// round trip first, so what was sent just before takes effect. Not
// thread-safe: each service keeps its own connection behind its own lock.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace zentrabo::platform {

// A connection that cannot be made; its text says why.
class X11Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
// A reply as libxcb allocates it.
template <typename Reply>
using X11Reply = std::unique_ptr<Reply, FreeDeleter>;

class X11Connection {
public:
    static constexpr std::chrono::seconds connectDeadline{5};
    static constexpr std::chrono::seconds replyDeadline{5};

    // Connects to the display (":0"). Throws X11Error when the display cannot
    // be reached or does not answer within connectDeadline.
    explicit X11Connection(const std::string& display);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return screen_->root; }
    const xcb_screen_t& screen() const { return *screen_; }

    // The reply to the request of the cookie; none on an X error, a broken
    // connection or a reply later than replyDeadline.
    template <typename Reply, typename Cookie>
    X11Reply<Reply> reply(Cookie cookie) {
        return X11Reply<Reply>(static_cast<Reply*>(awaitReply(cookie.sequence)));
    }
    // The atom of the name, interned once per connection; XCB_ATOM_NONE when
    // the server does not answer.
    xcb_atom_t atom(const std::string& name);
    // The name of an atom; empty when the server does not know it.
    std::string atomName(xcb_atom_t atom);
    // Sends what was queued (requests without a reply).
    void flush();
    // Waits, at most replyDeadline, until the server has handled every
    // request sent before; whether it answered.
    bool roundTrip();
    // Closed by the server, or given up after a late reply.
    bool isBroken() const { return stalled_ || xcb_connection_has_error(connection_) != 0; }
    // Neither broken nor hung up by the server (an X server that went away
    // shows as a hang-up before any request fails).
    bool alive() const { return !isBroken() && !peerHungUp(); }
    // True when the connection works, after connecting anew if it was not
    // alive.
    bool usable();
    // Which connection this is: it counts up each time one is made anew, so
    // what was set up on an earlier one can tell (a new connection may
    // reuse the old one's address).
    std::uint64_t opening() const { return openings_; }

private:
    void* awaitReply(unsigned int sequence);
    // Errors of requests without a reply land in the event queue; nothing
    // reads events here, so they are dropped as they come.
    void dropQueuedEvents();

    void open();
    bool peerHungUp() const;

    std::string display_;
    bool stalled_ = false;
    std::uint64_t openings_ = 0;
    xcb_connection_t* connection_ = nullptr;
    const xcb_screen_t* screen_ = nullptr;
    std::map<std::string, xcb_atom_t> atoms_;
};

}  // namespace zentrabo::platform
