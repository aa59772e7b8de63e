// The desktop's services on an X server of the test's own that is stopped
// and started again on the same display under them: each works on its
// first use after the server is back, without keeping the old connection.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/x11_witness.hpp"
#include "x11/own_x_server.hpp"

namespace zentrabo::testing {
namespace {

using platform::KeyboardEvent;

class X11RestartedServer : public ::testing::Test {
protected:
    void SetUp() override {
        xServer.emplace();
        ASSERT_TRUE(xServer->display()) << "Xvfb did not start";
        desktop = platform::X11Desktop::create(displayName(), clock);
    }

    std::string displayName() const { return ":" + std::to_string(*xServer->display()); }

    // Stops the server and starts another on its display.
    void restartXServer() {
        const int display = *xServer->display();
        xServer->stop();
        xServer.emplace(display);
        ASSERT_EQ(xServer->display(), display) << "Xvfb did not start again on its display";
    }

    std::optional<OwnXServer> xServer;
    platform::SystemClock clock;
    std::unique_ptr<platform::X11Desktop> desktop;
};

TEST_F(X11RestartedServer, EveryServiceWorksOnItsFirstUseAfterTheServerIsBack) {
    constexpr platform::KeyCode aKey = 0;
    struct Use {
        const char* service;
        std::function<bool()> works;
    };
    const std::vector<Use> uses{
        {"the clipboard, set and read by another client",
         [&] {
             return desktop->pasteboard().setString("after the restart") &&
                    witnessOutput("env DISPLAY=" + displayName() + " xclip -o -selection clipboard") ==
                        "after the restart";
         }},
        {"the event poster",
         [&] {
             KeyboardEvent press;
             press.keyCode = aKey;
             KeyboardEvent release = press;
             release.keyDown = false;
             return desktop->eventPoster().post(press) && desktop->eventPoster().post(release);
         }},
        {"the shareable content a stream chooses from",
         [&] { return desktop->screenCapture().shareableContent(false, true).has_value(); }},
    };
    // Each is used once before, so each has a connection to lose.
    for (const auto& use : uses) ASSERT_TRUE(use.works()) << use.service << " before the restart";
    restartXServer();
    if (HasFatalFailure()) return;
    for (const auto& use : uses) EXPECT_TRUE(use.works()) << use.service;
}

}  // namespace
}  // namespace zentrabo::testing
