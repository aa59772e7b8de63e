// Another clipboard owner that stalls or offers too much: the pasteboard's
// reading of it ends by one deadline for all its types, and keeps no more
// than the total cap, the first types in the owner's order. Each case runs
// on an X server of its own, so the stalls hold up no other test's session,
// with an owner written here on plain xcb.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/x11/x11_pasteboard.hpp"

namespace zentrabo::testing {
namespace {

using platform::X11Pasteboard;
using namespace std::chrono_literals;

// An Xvfb of the test's own, gone with the object.
class PrivateXServer {
public:
    PrivateXServer() {
        int numbers[2];
        if (::pipe(numbers) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(numbers[0]);
            const std::string fd = std::to_string(numbers[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "320x240x24",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(numbers[1]);
        pollfd readable{numbers[0], POLLIN, 0};
        char text[16] = {};
        if (::poll(&readable, 1, 10000) == 1 && ::read(numbers[0], text, sizeof text - 1) > 0) {
            display_ = ":" + std::string(text, std::strcspn(text, "\n"));
        }
        ::close(numbers[0]);
    }
    ~PrivateXServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// How the owner answers a request for one of its targets.
enum class OwnerAnswer { whole, never, oneBytePerSecond };

// A clipboard owner that offers the targets, each with its data, and answers
// as told; its thread ends with the object.
class ScriptedClipboardOwner {
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
                        for (int waited = 0; waited < 20 && !stop_; ++waited) std::this_thread::sleep_for(50ms);
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

std::vector<std::pair<std::string, std::string>> offeredTargets(int count, std::size_t size) {
    std::vector<std::pair<std::string, std::string>> targets;
    for (int index = 0; index < count; ++index) {
        targets.emplace_back("application/x-offered-" + std::to_string(index),
                             std::string(size, static_cast<char>('a' + index % 26)));
    }
    return targets;
}

TEST(ClipboardHostileOwnerTest, AStalledOwnerHoldsTheWholeReadingOnlyUntilTheDeadline) {
    struct Case {
        const char* name;
        int targets;
        std::size_t size;
        OwnerAnswer answer;
    };
    for (const Case& stalled : {Case{"one byte a second", 1, 4096, OwnerAnswer::oneBytePerSecond},
                                Case{"no type of fifty answered", 50, 16, OwnerAnswer::never}}) {
        SCOPED_TRACE(stalled.name);
        PrivateXServer server;
        ASSERT_FALSE(server.display().empty());
        X11Pasteboard pasteboard(server.display());
        ScriptedClipboardOwner owner(server.display(), offeredTargets(stalled.targets, stalled.size), stalled.answer);
        const auto start = std::chrono::steady_clock::now();
        const auto items = pasteboard.items();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(items.empty());
        EXPECT_LT(took, X11Pasteboard::transferDeadline + 1s);
        EXPECT_EQ(pasteboard.typesLeftOut().late.size(), static_cast<std::size_t>(stalled.targets));
    }
}

TEST(ClipboardHostileOwnerTest, TheFirstTypesAreKeptUpToTheTotalCap) {
    PrivateXServer server;
    ASSERT_FALSE(server.display().empty());
    X11Pasteboard pasteboard(server.display());
    constexpr std::size_t typeSize = 15 * 1024 * 1024;
    constexpr int offered = 22;
    ScriptedClipboardOwner owner(server.display(), offeredTargets(offered, typeSize), OwnerAnswer::whole);
    const auto items = pasteboard.items();
    ASSERT_EQ(items.size(), 1u);
    const std::size_t fitting = X11Pasteboard::maximumTotalSize / typeSize;
    ASSERT_EQ(items.front().representations.size(), fitting);
    for (std::size_t index = 0; index < fitting; ++index) {
        const auto& [type, data] = items.front().representations[index];
        EXPECT_EQ(type, "application/x-offered-" + std::to_string(index));
        EXPECT_EQ(data.size(), typeSize);
    }
    const auto leftOut = pasteboard.typesLeftOut();
    EXPECT_EQ(leftOut.pastTotal.size(), offered - fitting);
    EXPECT_TRUE(leftOut.tooLarge.empty());
    EXPECT_TRUE(leftOut.late.empty());
}

}  // namespace
}  // namespace zentrabo::testing
