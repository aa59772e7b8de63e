#include "platform/desktop/x11/x11_pasteboard.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/desktop/x11/x11_selection_reader.hpp"

namespace zentrabo::platform {

namespace {

constexpr const char* clipboardName = "CLIPBOARD";
constexpr const char* utf8StringName = "UTF8_STRING";
// Targets that say something of the selection rather than hold its data.
constexpr const char* protocolTargets[] = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE", "INCR"};

// The pasteboard's type of a target and back: UTF-8 text is the plain-string
// type; every other target keeps its own name.
std::string typeOfTarget(const std::string& target) {
    return target == utf8StringName ? std::string(pasteboardtype::string) : target;
}
std::string targetOfType(const std::string& type) {
    return type == pasteboardtype::string ? std::string(utf8StringName) : type;
}

// STRING is Latin-1: what it cannot hold becomes "?".
std::vector<std::uint8_t> latin1(const std::string& utf8) {
    std::vector<std::uint8_t> result;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[at]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 4;
        if (length == 2 && at + 1 < utf8.size() && lead <= 0xC3) {
            result.push_back(static_cast<std::uint8_t>(((lead & 0x1F) << 6) | (utf8[at + 1] & 0x3F)));
        } else {
            result.push_back(length == 1 ? lead : '?');
        }
        at += length;
    }
    return result;
}

}  // namespace

X11Pasteboard::X11Pasteboard(const std::string& display) : display_(display), connection_(display) {
    if (!setUpOwnerLocked()) throw X11Error("the X display " + display + " does not answer");
    wakeup_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeup_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { serve(); });
}

bool X11Pasteboard::setUpOwnerLocked() {
    xcb_connection_t* connection = connection_.get();
    ownerOpening_ = connection_.opening();
    window_ = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window_, connection_.root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    clipboard_ = internAtom(connection, clipboardName);
    targets_ = internAtom(connection, "TARGETS");
    utf8String_ = internAtom(connection, utf8StringName);
    incr_ = internAtom(connection, "INCR");
    if (clipboard_ == XCB_ATOM_NONE || targets_ == XCB_ATOM_NONE || utf8String_ == XCB_ATOM_NONE ||
        incr_ == XCB_ATOM_NONE) {
        return false;
    }
    const auto version = boundedReply<xcb_xfixes_query_version_reply_t>(
        connection, xcb_xfixes_query_version(connection, 5, 0), X11Connection::replyDeadline);
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    xfixesEventBase_ = 0;
    if (version && xfixes && xfixes->present) {
        xfixesEventBase_ = xfixes->first_event;
        xcb_xfixes_select_selection_input(connection, window_, clipboard_,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    xcb_flush(connection);
    return true;
}

bool X11Pasteboard::ownerUsableLocked() {
    if (!connection_.usable()) return false;
    if (ownerReady_ && ownerOpening_ == connection_.opening()) return true;
    if (ownerOpening_ != connection_.opening()) {
        // What we owned went with the old connection (and, after a restart,
        // with the old server): the clipboard no longer holds it.
        std::lock_guard locked(mutex_);
        owned_.reset();
        ownedTargets_.clear();
        outgoing_.clear();
        ++changeCount_;
    }
    ownerReady_ = setUpOwnerLocked();
    return ownerReady_;
}

X11Pasteboard::~X11Pasteboard() {
    const std::uint64_t one = 1;
    (void)::write(wakeup_, &one, sizeof one);
    thread_.join();
    ::close(wakeup_);
}

bool X11Pasteboard::own(Contents contents) {
    std::lock_guard connected(connectionMutex_);
    if (!ownerUsableLocked()) return false;
    xcb_connection_t* connection = connection_.get();
    std::map<xcb_atom_t, std::string> targets;
    for (const auto& [name, data] : contents) {
        const xcb_atom_t atom = internAtom(connection, name);
        if (atom == XCB_ATOM_NONE) return false;
        targets.emplace(atom, name);
    }
    {
        std::lock_guard locked(mutex_);
        owned_ = std::move(contents);
        ownedTargets_ = std::move(targets);
        ++changeCount_;
    }
    xcb_set_selection_owner(connection, window_, clipboard_, XCB_CURRENT_TIME);
    const auto owner = boundedReply<xcb_get_selection_owner_reply_t>(
        connection, xcb_get_selection_owner(connection, clipboard_), X11Connection::replyDeadline);
    if (owner && owner->owner == window_) return true;
    std::lock_guard locked(mutex_);
    owned_.reset();
    return false;
}

std::int64_t X11Pasteboard::clearContents() {
    own(Contents{});
    std::lock_guard locked(mutex_);
    return changeCount_;
}

bool X11Pasteboard::setString(const std::string& text) {
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return own(Contents{{utf8StringName, bytes}, {"TEXT", bytes}, {"STRING", latin1(text)}});
}

bool X11Pasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    // One selection holds one item: the first item's types, in its order; the
    // text types another owner did not offer are derived from its UTF-8 text.
    Contents contents;
    if (!items.empty()) {
        for (const auto& [type, data] : items.front().representations) contents.emplace(targetOfType(type), data);
    }
    if (const auto text = contents.find(utf8StringName); text != contents.end()) {
        const std::string utf8(text->second.begin(), text->second.end());
        contents.emplace("TEXT", text->second);
        contents.emplace("STRING", latin1(utf8));
    }
    return own(std::move(contents));
}

std::vector<PasteboardItem> X11Pasteboard::items() {
    {
        std::lock_guard locked(mutex_);
        typesLeftOut_ = {};
        if (owned_) {
            if (owned_->empty()) return {};
            PasteboardItem item;
            for (const auto& [target, data] : *owned_) item.representations.emplace_back(typeOfTarget(target), data);
            return {std::move(item)};
        }
    }
    PasteboardTypesLeftOut leftOut;
    PasteboardItem item;
    try {
        // One reader, so one deadline for the whole reading. The types are
        // kept in the owner's order while they fit in the total; one that
        // does not is left out and a later, smaller one may still fit.
        X11SelectionReader reader(display_, transferDeadline);
        const xcb_atom_t clipboard = internAtom(reader.connection(), clipboardName);
        std::size_t total = 0;
        for (const std::string& target : reader.targets(clipboard)) {
            if (std::find_if(std::begin(protocolTargets), std::end(protocolTargets),
                             [&](const char* name) { return target == name; }) != std::end(protocolTargets)) {
                continue;
            }
            if (reader.expired()) {
                leftOut.late.push_back(target);
                continue;
            }
            const std::size_t room = std::min(maximumTargetSize, maximumTotalSize - total);
            auto result = reader.read(clipboard, internAtom(reader.connection(), target), room);
            if (result.outcome == X11SelectionReader::Outcome::tooLarge) {
                (room < maximumTargetSize ? leftOut.pastTotal : leftOut.tooLarge).push_back(target);
            } else if (result.outcome == X11SelectionReader::Outcome::failed && reader.expired()) {
                leftOut.late.push_back(target);
            }
            if (result.outcome != X11SelectionReader::Outcome::read) continue;
            total += result.data.size();
            item.representations.emplace_back(typeOfTarget(target), std::move(result.data));
        }
    } catch (const X11Error&) {
        return {};
    }
    std::lock_guard locked(mutex_);
    typesLeftOut_ = std::move(leftOut);
    if (item.representations.empty()) return {};
    return {std::move(item)};
}

std::optional<std::string> X11Pasteboard::string() {
    {
        std::lock_guard locked(mutex_);
        if (owned_) {
            const auto text = owned_->find(utf8StringName);
            if (text == owned_->end()) return std::nullopt;
            return std::string(text->second.begin(), text->second.end());
        }
    }
    try {
        X11SelectionReader reader(display_, transferDeadline);
        const auto result = reader.read(internAtom(reader.connection(), clipboardName),
                                        internAtom(reader.connection(), utf8StringName), maximumTargetSize);
        if (result.outcome != X11SelectionReader::Outcome::read) return std::nullopt;
        return std::string(result.data.begin(), result.data.end());
    } catch (const X11Error&) {
        return std::nullopt;
    }
}

std::int64_t X11Pasteboard::changeCount() {
    std::lock_guard locked(mutex_);
    return changeCount_;
}

PasteboardTypesLeftOut X11Pasteboard::typesLeftOut() {
    std::lock_guard locked(mutex_);
    return typesLeftOut_;
}

void X11Pasteboard::serve() {
    for (;;) {
        int socket = -1;
        {
            std::lock_guard connected(connectionMutex_);
            if (ownerReady_ && !connection_.isBroken()) socket = xcb_get_file_descriptor(connection_.get());
        }
        pollfd ready[2] = {{wakeup_, POLLIN, 0}, {socket, POLLIN, 0}};
        // Woken at least once a second to give up increments nobody reads
        // and, while the display is away, to connect again.
        ::poll(ready, 2, 1000);
        if (ready[0].revents & POLLIN) return;
        std::lock_guard connected(connectionMutex_);
        if (!ownerUsableLocked()) continue;
        xcb_connection_t* connection = connection_.get();
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
        std::lock_guard locked(mutex_);
        dropStalledTransfers();
        xcb_flush(connection);
    }
}

void X11Pasteboard::handle(xcb_generic_event_t* event) {
    const std::uint8_t type = event->response_type & 0x7F;
    std::lock_guard locked(mutex_);
    if (xfixesEventBase_ != 0 && type == xfixesEventBase_ + XCB_XFIXES_SELECTION_NOTIFY) {
        // Our own taking of the selection was counted when we took it.
        if (reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->owner != window_) ++changeCount_;
    } else if (type == XCB_SELECTION_CLEAR) {
        owned_.reset();
        ownedTargets_.clear();
    } else if (type == XCB_SELECTION_REQUEST) {
        answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event));
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->state != XCB_PROPERTY_DELETE) return;
        for (auto transfer = outgoing_.begin(); transfer != outgoing_.end(); ++transfer) {
            if (transfer->requestor != notify->window || transfer->property != notify->atom) continue;
            sendNextIncrement(*transfer);
            // The empty piece that ends it has gone out.
            if (transfer->offset > transfer->data.size()) outgoing_.erase(transfer);
            break;
        }
    }
}

void X11Pasteboard::answer(const xcb_selection_request_event_t& request) {
    xcb_connection_t* connection = connection_.get();
    // An old client may name no property: the target stands in for it.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    bool answered = false;
    const auto named = ownedTargets_.find(request.target);
    if (owned_) {
        if (request.target == targets_) {
            std::vector<xcb_atom_t> targets{targets_};
            for (const auto& [atom, name] : ownedTargets_) targets.push_back(atom);
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                static_cast<std::uint32_t>(targets.size()), targets.data());
            answered = true;
        } else if (const auto found = named == ownedTargets_.end() ? owned_->end() : owned_->find(named->second);
                   found != owned_->end()) {
            const xcb_atom_t type = found->first == "TEXT" ? utf8String_ : request.target;
            const auto& data = found->second;
            if (data.size() <= incrementSize) {
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                                    static_cast<std::uint32_t>(data.size()), data.data());
            } else {
                // The reader deletes the INCR property to ask for each piece.
                const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &mask);
                const auto size = static_cast<std::uint32_t>(data.size());
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, incr_, 32, 1,
                                    &size);
                outgoing_.push_back(
                    Outgoing{request.requestor, property, type, data, 0, std::chrono::steady_clock::now()});
            }
            answered = true;
        }
    }
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = answered ? property : XCB_NONE;
    char event[32] = {};
    std::memcpy(event, &notify, sizeof notify);
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event);
    xcb_flush(connection);
}

void X11Pasteboard::sendNextIncrement(Outgoing& transfer) {
    const std::size_t length =
        std::min(incrementSize, transfer.data.size() - std::min(transfer.offset, transfer.data.size()));
    xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property, transfer.type,
                        8, static_cast<std::uint32_t>(length),
                        transfer.data.data() + std::min(transfer.offset, transfer.data.size()));
    // A piece of nothing ends the transfer; the offset then passes the end.
    transfer.offset += length == 0 ? 1 : length;
    transfer.lastStep = std::chrono::steady_clock::now();
    xcb_flush(connection_.get());
}

void X11Pasteboard::dropStalledTransfers() {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(outgoing_, [&](const Outgoing& transfer) { return now - transfer.lastStep > transferDeadline; });
}

}  // namespace zentrabo::platform
