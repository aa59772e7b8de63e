// A request sent just before a connection closes still takes effect: the X
// server drops the unread requests of a client that hangs up, so each kind
// is sent many times, each time on a connection closed right after, and
// read back with xprop.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

#include "platform/desktop/x11/x11_connection.hpp"
#include "support/x11_session.hpp"
#include "support/x11_witness.hpp"

namespace zentrabo::testing {
namespace {

constexpr int roundsPerKind = 25;

class X11ConnectionTest : public X11SessionTest {};

TEST_F(X11ConnectionTest, TheLastRequestBeforeClosingTakesEffect) {
    struct Kind {
        const char* property;
        std::size_t size;
    };
    // A short request, and one larger than the socket's buffer.
    for (const Kind kind : {Kind{"ZENTRABO_TEST_LAST_WORDS", 8}, Kind{"ZENTRABO_TEST_LAST_PAGE", 512 * 1024}}) {
        int lost = 0;
        for (int round = 0; round < roundsPerKind; ++round) {
            // The round's number first, so the first bytes tell the rounds apart.
            std::string value = std::to_string(round) + "-";
            value.resize(kind.size, 'x');
            {
                platform::X11Connection connection(std::getenv("DISPLAY"));
                xcb_change_property(connection.get(), XCB_PROP_MODE_REPLACE, connection.root(),
                                    connection.atom(kind.property), XCB_ATOM_STRING, 8,
                                    static_cast<std::uint32_t>(value.size()), value.data());
                connection.flush();
            }
            const std::string shown = witnessOutput(std::string("xprop -root -len 8 -notype ") + kind.property);
            if (shown.find("\"" + value.substr(0, 8)) == std::string::npos) ++lost;
        }
        EXPECT_EQ(lost, 0) << kind.property << ": lost in " << lost << " of " << roundsPerKind << " rounds";
    }
}

}  // namespace
}  // namespace zentrabo::testing
