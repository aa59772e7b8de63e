// A request sent just before a connection closes still takes effect: the X
// server drops the unread requests of a client that hangs up, so each kind
// is sent many times, each time on a connection closed right after.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/x11/x11_connection.hpp"
#include "support/x11_session.hpp"

namespace zentrabo::testing {
namespace {

using platform::X11Connection;

constexpr int roundsPerKind = 25;

// The witness: a plain xcb connection of the test's own.
class Witness {
public:
    Witness() : connection_(xcb_connect(nullptr, nullptr)) {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    }
    ~Witness() { xcb_disconnect(connection_); }
    Witness(const Witness&) = delete;
    Witness& operator=(const Witness&) = delete;

    xcb_window_t root() const { return screen_->root; }

    xcb_atom_t atom(const std::string& name) {
        auto* interned = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr);
        const xcb_atom_t atom = interned ? interned->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(interned);
        return atom;
    }
    std::string property(xcb_window_t window, xcb_atom_t atom) {
        auto* read = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, atom, XCB_ATOM_STRING, 0, 1 << 20), nullptr);
        std::string value;
        if (read) {
            value.assign(static_cast<const char*>(xcb_get_property_value(read)),
                         static_cast<std::size_t>(xcb_get_property_value_length(read)));
        }
        std::free(read);
        return value;
    }
    // A window the window manager leaves alone, so a move is the client's own.
    xcb_window_t unmanagedWindow() {
        const xcb_window_t window = xcb_generate_id(connection_);
        const std::uint32_t overrideRedirect = 1;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root(), 0, 0, 40, 30, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_OVERRIDE_REDIRECT,
                          &overrideRedirect);
        xcb_flush(connection_);
        return window;
    }
    std::int16_t x(xcb_window_t window) {
        auto* geometry = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        const std::int16_t x = geometry ? geometry->x : -1;
        std::free(geometry);
        return x;
    }

private:
    xcb_connection_t* connection_;
    const xcb_screen_t* screen_ = nullptr;
};

class X11ConnectionTest : public X11SessionTest {};

TEST_F(X11ConnectionTest, TheLastRequestBeforeClosingTakesEffect) {
    Witness witness;
    const xcb_atom_t small = witness.atom("ZENTRABO_TEST_LAST_WORDS");
    const xcb_atom_t large = witness.atom("ZENTRABO_TEST_LAST_PAGE");
    const xcb_window_t window = witness.unmanagedWindow();
    const auto textOfRound = [](int round, std::size_t size) {
        std::string text(size, 'x');
        text.replace(0, std::to_string(round).size(), std::to_string(round));
        return text;
    };
    const auto setProperty = [&](X11Connection& connection, xcb_atom_t atom, const std::string& value) {
        xcb_change_property(connection.get(), XCB_PROP_MODE_REPLACE, witness.root(), atom, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(value.size()), value.data());
    };
    struct Kind {
        std::string name;
        std::function<void(X11Connection&, int round)> send;
        std::function<bool(int round)> tookEffect;
    };
    const std::vector<Kind> kinds = {
        {"a short property",
         [&](X11Connection& connection, int round) { setProperty(connection, small, textOfRound(round, 8)); },
         [&](int round) { return witness.property(witness.root(), small) == textOfRound(round, 8); }},
        {"a property larger than the socket's buffer",
         [&](X11Connection& connection, int round) { setProperty(connection, large, textOfRound(round, 512 * 1024)); },
         [&](int round) { return witness.property(witness.root(), large) == textOfRound(round, 512 * 1024); }},
        {"a window move",
         [&](X11Connection& connection, int round) {
             const std::uint32_t x = static_cast<std::uint32_t>(100 + round);
             xcb_configure_window(connection.get(), window, XCB_CONFIG_WINDOW_X, &x);
         },
         [&](int round) { return witness.x(window) == 100 + round; }},
    };
    for (const auto& kind : kinds) {
        int lost = 0;
        for (int round = 0; round < roundsPerKind; ++round) {
            {
                X11Connection connection(std::getenv("DISPLAY"));
                kind.send(connection, round);
                connection.flush();
            }
            if (!kind.tookEffect(round)) ++lost;
        }
        EXPECT_EQ(lost, 0) << kind.name << ": lost in " << lost << " of " << roundsPerKind << " rounds";
    }
}

}  // namespace
}  // namespace zentrabo::testing
