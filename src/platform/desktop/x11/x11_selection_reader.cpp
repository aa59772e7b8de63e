#include "platform/desktop/x11/x11_selection_reader.hpp"

#include <poll.h>
#include <xcb/xcbext.h>

#include <algorithm>

#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

// A connection may be shared with a thread that reads its events (the
// pasteboard's), and that thread may take a reply off the socket into the
// library's queue: the socket then stays quiet though the reply is there.
// So no wait for the socket lasts longer than this before the queue is
// looked at again.
constexpr std::chrono::milliseconds kLongestQuietWait{10};

// Waits until the connection has something to read or a short while has
// passed, at most until the end; false when the end has passed or the
// connection broke.
bool waitReadable(xcb_connection_t* connection, std::chrono::steady_clock::time_point end) {
    // Rounded up, so that a wait given up has really reached the end.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || xcb_connection_has_error(connection)) return false;
    pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
    ::poll(&readable, 1, static_cast<int>(std::min(left, kLongestQuietWait).count()));
    return true;
}

}  // namespace

void* boundedReplyData(xcb_connection_t* connection, unsigned int sequence, std::chrono::milliseconds deadline) {
    return boundedReplyDataUntil(connection, sequence, std::chrono::steady_clock::now() + deadline);
}

void* boundedReplyDataUntil(xcb_connection_t* connection, unsigned int sequence,
                            std::chrono::steady_clock::time_point end) {
    xcb_flush(connection);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        if (!waitReadable(connection, end)) break;
    }
    xcb_discard_reply(connection, sequence);
    return nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name) {
    const auto interned = boundedReply<xcb_intern_atom_reply_t>(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        X11Connection::replyDeadline);
    return interned ? interned->atom : xcb_atom_t{XCB_ATOM_NONE};
}

X11SelectionReader::X11SelectionReader(const std::string& display, std::chrono::milliseconds deadline)
    : connection_(display), end_(std::chrono::steady_clock::now() + deadline) {
    xcb_connection_t* connection = connection_.get();
    window_ = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window_, connection_.root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    property_ = internAtom(connection, productIdentity().selectionPropertyName);
    incr_ = internAtom(connection, "INCR");
}

X11SelectionReader::~X11SelectionReader() {
    xcb_destroy_window(connection_.get(), window_);
    xcb_flush(connection_.get());
}

bool X11SelectionReader::expired() const { return std::chrono::steady_clock::now() >= end_; }

X11Reply<xcb_generic_event_t> X11SelectionReader::nextEvent(std::uint8_t type) {
    xcb_connection_t* connection = connection_.get();
    xcb_flush(connection);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            X11Reply<xcb_generic_event_t> owned(event);
            if ((event->response_type & 0x7F) != type) continue;
            if (type == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                if (notify->window != window_ || notify->atom != property_ || notify->state != XCB_PROPERTY_NEW_VALUE) {
                    continue;
                }
            }
            return owned;
        }
        if (!waitReadable(connection, end_)) return nullptr;
    }
}

std::optional<X11SelectionReader::Result> X11SelectionReader::takeProperty(std::size_t maximum) {
    xcb_connection_t* connection = connection_.get();
    Result result;
    std::uint32_t offset = 0;  // in 32-bit units, as the request counts
    for (;;) {
        // Deleted with the last piece, which tells the owner to go on.
        const std::uint32_t pieceUnits = static_cast<std::uint32_t>(maximum / 4 + 1);
        const auto piece =
            X11Reply<xcb_get_property_reply_t>(static_cast<xcb_get_property_reply_t*>(boundedReplyDataUntil(
                connection,
                xcb_get_property(connection, 0, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, offset, pieceUnits)
                    .sequence,
                end_)));
        if (!piece) return std::nullopt;
        result.type = piece->type;
        const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(piece.get()));
        // In bytes, whatever the format.
        const auto length = static_cast<std::size_t>(xcb_get_property_value_length(piece.get()));
        result.data.insert(result.data.end(), bytes, bytes + length);
        if (result.data.size() > maximum || piece->bytes_after == 0) break;
        offset += static_cast<std::uint32_t>(length / 4);
    }
    xcb_delete_property(connection, window_, property_);
    xcb_flush(connection);
    result.outcome = result.data.size() > maximum ? Outcome::tooLarge : Outcome::read;
    return result;
}

X11SelectionReader::Result X11SelectionReader::read(xcb_atom_t selection, xcb_atom_t target, std::size_t maximum) {
    xcb_connection_t* connection = connection_.get();
    if (property_ == XCB_ATOM_NONE || incr_ == XCB_ATOM_NONE) return {};
    xcb_delete_property(connection, window_, property_);
    xcb_convert_selection(connection, window_, selection, target, property_, XCB_CURRENT_TIME);
    const auto notified = nextEvent(XCB_SELECTION_NOTIFY);
    if (!notified || reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get())->property == XCB_NONE) {
        return {};
    }
    auto first = takeProperty(maximum);
    if (!first || first->type != incr_) return first ? std::move(*first) : Result{};
    // In increments: each new value is the next piece, an empty one the end.
    Result whole;
    for (;;) {
        if (!nextEvent(XCB_PROPERTY_NOTIFY)) return {};
        auto piece = takeProperty(maximum - std::min(maximum, whole.data.size()));
        if (!piece) return {};
        whole.type = piece->type;
        if (piece->data.empty()) break;
        whole.data.insert(whole.data.end(), piece->data.begin(), piece->data.end());
        if (whole.data.size() > maximum) {
            // Left to the owner to give up: we stop reading.
            whole.outcome = Outcome::tooLarge;
            whole.data.clear();
            return whole;
        }
    }
    whole.outcome = Outcome::read;
    return whole;
}

std::vector<std::string> X11SelectionReader::targets(xcb_atom_t selection) {
    const Result answer = read(selection, internAtom(connection_.get(), "TARGETS"), 4096 * sizeof(xcb_atom_t));
    std::vector<std::string> names;
    if (answer.outcome != Outcome::read || answer.type != XCB_ATOM_ATOM) return names;
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(answer.data.data());
    for (std::size_t at = 0; at < answer.data.size() / sizeof(xcb_atom_t); ++at) {
        const auto named = X11Reply<xcb_get_atom_name_reply_t>(static_cast<xcb_get_atom_name_reply_t*>(
            boundedReplyDataUntil(connection_.get(), xcb_get_atom_name(connection_.get(), atoms[at]).sequence, end_)));
        if (!named) continue;
        names.emplace_back(xcb_get_atom_name_name(named.get()),
                           static_cast<std::size_t>(xcb_get_atom_name_name_length(named.get())));
    }
    return names;
}

}  // namespace zentrabo::platform
