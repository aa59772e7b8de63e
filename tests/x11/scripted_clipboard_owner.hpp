#pragma once
// A clipboard owner written on plain xcb that stalls or offers too much, as
// a hostile or hung program may.
#include <poll.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zentrabo::testing {

// How the owner answers a request for one of its targets.
enum class OwnerAnswer { whole, never, oneBytePerSecond };

// A clipboard owner that offers the targets, each with its data, and answers
// as told; its thread ends with the object.
class ScriptedClipboardOwner {
    using Milliseconds = std::chrono::milliseconds;

public:
    ScriptedClipboardOwner(const std::string& display, std::vector<std::pair<std::string, std::string>> targets,
                           OwnerAnswer answer)
        : connection_(xcb_connect(display.c_str(), nullptr)), answer_(answer) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        clipboard_ = atom("CLIPBOARD");
        targetsAtom_ = atom("TARGETS");
        incr_ = atom("INCR");
        for (auto& [name, data] : targets) {
            const xcb_atom_t target = atom(name);
            order_.push_back(target);
            data_.emplace(target, std::move(data));
        }
        xcb_set_selection_owner(connection_, window_, clipboard_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedClipboardOwner() {
        stop_ = true;
        thread_.join();
        xcb_disconnect(connection_);
    }
    ScriptedClipboardOwner(const ScriptedClipboardOwner&) = delete;
    ScriptedClipboardOwner& operator=(const ScriptedClipboardOwner&) = delete;

private:
    xcb_atom_t atom(const std::string& name) {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr);
        const xcb_atom_t interned = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return interned;
    }

    void notify(const xcb_selection_request_event_t& request, bool answered) {
        xcb_selection_notify_event_t event{};
        event.response_type = XCB_SELECTION_NOTIFY;
        event.requestor = request.requestor;
        event.selection = request.selection;
        event.target = request.target;
        event.property = answered ? request.property : XCB_NONE;
        event.time = request.time;
        xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&event));
    }

    void answer(const xcb_selection_request_event_t& request) {
        if (request.target == targetsAtom_) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, XCB_ATOM_ATOM,
                                32, static_cast<std::uint32_t>(order_.size()), order_.data());
            notify(request, true);
            return;
        }
        const auto data = data_.find(request.target);
        if (data == data_.end() || answer_ == OwnerAnswer::never) return;
        if (answer_ == OwnerAnswer::whole) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, request.target,
                                8, static_cast<std::uint32_t>(data->second.size()), data->second.data());
            notify(request, true);
            return;
        }
        // Increments of one byte, each a second after the reader asked.
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection_, request.requestor, XCB_CW_EVENT_MASK, &events);
        const auto size = static_cast<std::uint32_t>(data->second.size());
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, incr_, 32, 1,
                            &size);
        notify(request, true);
        trickle_ = {request.requestor, request.property, request.target, data->second, 0};
    }

    void serve() {
        while (!stop_) {
            pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
            ::poll(&readable, 1, 50);
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const std::uint8_t type = event->response_type & 0x7F;
                if (type == XCB_SELECTION_REQUEST) {
                    answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
                } else if (type == XCB_PROPERTY_NOTIFY && trickle_.requestor != 0) {
                    const auto* changed = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    if (changed->state == XCB_PROPERTY_DELETE && changed->atom == trickle_.property &&
                        trickle_.offset < trickle_.data.size()) {
                        for (int waited = 0; waited < 20 && !stop_; ++waited)
                            std::this_thread::sleep_for(Milliseconds(50));
                        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, trickle_.requestor, trickle_.property,
                                            trickle_.type, 8, 1, trickle_.data.data() + trickle_.offset++);
                    }
                }
                std::free(event);
            }
            xcb_flush(connection_);
        }
    }

    struct Trickle {
        xcb_window_t requestor = 0;
        xcb_atom_t property = 0, type = 0;
        std::string data;
        std::size_t offset = 0;
    };

    xcb_connection_t* connection_;
    OwnerAnswer answer_;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = 0, targetsAtom_ = 0, incr_ = 0;
    std::vector<xcb_atom_t> order_;
    std::map<xcb_atom_t, std::string> data_;
    Trickle trickle_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// Targets "application/x-offered-<n>", each of the size, filled with a
// letter of its own.
inline std::vector<std::pair<std::string, std::string>> offeredTargets(int count, std::size_t size) {
    std::vector<std::pair<std::string, std::string>> targets;
    for (int index = 0; index < count; ++index) {
        targets.emplace_back("application/x-offered-" + std::to_string(index),
                             std::string(size, static_cast<char>('a' + index % 26)));
    }
    return targets;
}

// An owner that stalls a reading: what it offers and how it answers.
struct StalledOwner {
    const char* name;
    int targets;
    std::size_t size;
    OwnerAnswer answer;
};

// The stalls a reading must survive within its one deadline: an INCR
// transfer at one byte a second, and fifty types none of which is answered.
inline constexpr StalledOwner stalledOwners[] = {
    {"one byte a second", 1, 4096, OwnerAnswer::oneBytePerSecond},
    {"no type of fifty answered", 50, 16, OwnerAnswer::never},
};

}  // namespace zentrabo::testing
