#pragma once
// A test of the X11 desktop's services: the desktop on the session's display.
#include <cstdlib>
#include <memory>

#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/x11_session.hpp"

namespace zentrabo::testing {

class X11DesktopTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        desktop = platform::X11Desktop::create(std::getenv("DISPLAY"), clock);
    }

    platform::SystemClock clock;
    std::unique_ptr<platform::X11Desktop> desktop;
};

}  // namespace zentrabo::testing
