#include "platform/desktop/x11/x11_connection.hpp"

#include <poll.h>
#include <xcb/xcbext.h>

#include <future>
#include <thread>

namespace zentrabo::platform {

namespace {

// xcb_connect reads the server's setup reply with a blocking read, so it runs
// on a thread of its own and is given up after the deadline. A thread given up
// on stays blocked until the server answers or the process ends; it holds
// nothing but its connection attempt.
xcb_connection_t* connectWithin(const std::string& display, std::chrono::seconds deadline) {
    auto attempt = std::make_shared<std::promise<xcb_connection_t*>>();
    auto connected = attempt->get_future();
    std::thread([attempt, display] { attempt->set_value(xcb_connect(display.c_str(), nullptr)); }).detach();
    if (connected.wait_for(deadline) != std::future_status::ready) {
        throw X11Error("the X display " + display + " does not answer");
    }
    xcb_connection_t* connection = connected.get();
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        throw X11Error("cannot connect to the X display " + display);
    }
    return connection;
}

}  // namespace

X11Connection::X11Connection(const std::string& display) : display_(display) { open(); }

X11Connection::~X11Connection() {
    // The server drops a client as soon as it reads the hang-up, with the
    // requests it has not read yet: a window move, a property change or a
    // selection answer sent just before would be lost.
    if (!isBroken()) roundTrip();
    xcb_disconnect(connection_);
}

void X11Connection::open() {
    xcb_connection_t* connection = connectWithin(display_, connectDeadline);
    const auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        throw X11Error("the X display " + display_ + " has no screen");
    }
    if (connection_) xcb_disconnect(connection_);
    connection_ = connection;
    screen_ = screens.data;
    stalled_ = false;
    ++openings_;
    // A new server on the same display numbers its atoms anew.
    atoms_.clear();
}

bool X11Connection::peerHungUp() const {
    // Caught before a request, the first request after an X server restart
    // goes to the new server instead of into the old socket.
    pollfd socket{xcb_get_file_descriptor(connection_), POLLRDHUP, 0};
    return ::poll(&socket, 1, 0) == 1 && (socket.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool X11Connection::usable() {
    if (alive()) return true;
    try {
        open();
        return true;
    } catch (const X11Error&) {
        return false;
    }
}

void X11Connection::flush() { xcb_flush(connection_); }

bool X11Connection::roundTrip() {
    return reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(connection_)) != nullptr;
}

void X11Connection::dropQueuedEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) std::free(event);
}

void* X11Connection::awaitReply(unsigned int sequence) {
    if (stalled_) {
        xcb_discard_reply(connection_, sequence);
        return nullptr;
    }
    xcb_flush(connection_);
    const auto end = std::chrono::steady_clock::now() + replyDeadline;
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, sequence, &reply, &error)) {
            std::free(error);
            dropQueuedEvents();
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (isBroken() || left.count() <= 0) break;
        pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&readable, 1, static_cast<int>(left.count()));
    }
    // A late reply is thrown away when it comes.
    xcb_discard_reply(connection_, sequence);
    stalled_ = true;
    dropQueuedEvents();
    return nullptr;
}

xcb_atom_t X11Connection::atom(const std::string& name) {
    if (const auto known = atoms_.find(name); known != atoms_.end()) return known->second;
    const auto interned = reply<xcb_intern_atom_reply_t>(
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    if (!interned) return XCB_ATOM_NONE;
    atoms_.emplace(name, interned->atom);
    return interned->atom;
}

std::string X11Connection::atomName(xcb_atom_t atom) {
    const auto named = reply<xcb_get_atom_name_reply_t>(xcb_get_atom_name(connection_, atom));
    if (!named) return {};
    return std::string(xcb_get_atom_name_name(named.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(named.get())));
}

}  // namespace zentrabo::platform
