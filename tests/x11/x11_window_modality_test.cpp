// Which windows the window manager's hints make modal, on the test session
// with windows the test makes and describes as a toolkit would.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_window_modality.hpp"
#include "support/x11_session.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using platform::X11Connection;

// What a window says of itself before it is mapped.
struct Hints {
    std::uint32_t pid = 0;
    std::optional<std::string> type;
    std::optional<std::string> state;
    // The index of an earlier window it is transient for.
    std::optional<std::size_t> transientFor;
};

class HintedWindows {
public:
    explicit HintedWindows(X11Connection& x) : x_(x) {}

    std::uint32_t add(const Hints& hints) {
        xcb_connection_t* c = x_.get();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t id = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen->root, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x_.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &hints.pid);
        const auto setAtom = [&](const char* property, const std::optional<std::string>& value) {
            if (!value) return;
            const xcb_atom_t atom = x_.atom(*value);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x_.atom(property), XCB_ATOM_ATOM, 32, 1, &atom);
        };
        setAtom("_NET_WM_WINDOW_TYPE", hints.type);
        setAtom("_NET_WM_STATE", hints.state);
        if (hints.transientFor) {
            const xcb_window_t owner = ids_.at(*hints.transientFor);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                                &owner);
        }
        xcb_map_window(c, id);
        x_.flush();
        ids_.push_back(id);
        return id;
    }

    ~HintedWindows() {
        for (const auto id : ids_) xcb_destroy_window(x_.get(), id);
        x_.flush();
    }
    HintedWindows(const HintedWindows&) = delete;
    HintedWindows& operator=(const HintedWindows&) = delete;

private:
    X11Connection& x_;
    std::vector<xcb_window_t> ids_;
};

class X11WindowModalityTest : public X11SessionTest {};

TEST_F(X11WindowModalityTest, AModalStateOrADialogTransientForItsOwnProcessesWindowIsModal) {
    X11Connection x(std::getenv("DISPLAY"));
    HintedWindows windows(x);
    const auto self = static_cast<std::uint32_t>(getpid());
    // Another process's number: the hints are all that is read of it.
    const std::uint32_t other = self + 1;
    const auto main = windows.add({self, "_NET_WM_WINDOW_TYPE_NORMAL", {}, {}});
    const auto foreign = windows.add({other, "_NET_WM_WINDOW_TYPE_NORMAL", {}, {}});

    struct Case {
        const char* what;
        Hints hints;
        bool modal;
    };
    const Case cases[] = {
        {"marked modal", {self, "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE_MODAL", 0}, true},
        {"marked modal, with no owner", {self, {}, "_NET_WM_STATE_MODAL", {}}, true},
        {"a dialog over its own window", {self, "_NET_WM_WINDOW_TYPE_DIALOG", {}, 0}, true},
        {"a dialog over another process's window", {self, "_NET_WM_WINDOW_TYPE_DIALOG", {}, 1}, false},
        {"a dialog over nothing", {self, "_NET_WM_WINDOW_TYPE_DIALOG", {}, {}}, false},
        {"a normal window over its own", {self, "_NET_WM_WINDOW_TYPE_NORMAL", {}, 0}, false},
        {"a utility window over its own", {self, "_NET_WM_WINDOW_TYPE_UTILITY", {}, 0}, false},
    };
    for (const auto& [what, hints, modal] : cases) {
        SCOPED_TRACE(what);
        const auto id = windows.add(hints);
        std::optional<std::vector<platform::ManagedWindow>> managed;
        ASSERT_TRUE(eventually([&] {
            managed = platform::readManagedWindows(x);
            return managed && std::any_of(managed->begin(), managed->end(),
                                          [&](const platform::ManagedWindow& w) { return w.id == id; });
        }));
        EXPECT_EQ(platform::isModalWindow(x, id, *managed), modal);
        EXPECT_FALSE(platform::isModalWindow(x, main, *managed));
        EXPECT_FALSE(platform::isModalWindow(x, foreign, *managed));
    }
    const auto managed = platform::readManagedWindows(x);
    ASSERT_TRUE(managed);
    EXPECT_TRUE(platform::hasModalWindow(x, static_cast<platform::ProcessID>(self), *managed));
    EXPECT_FALSE(platform::hasModalWindow(x, static_cast<platform::ProcessID>(other), *managed));
}

}  // namespace
}  // namespace zentrabo::testing
