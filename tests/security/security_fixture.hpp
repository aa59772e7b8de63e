#pragma once

// A temporary home with the stores the security code works on.
#include <memory>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>

#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_security.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {

class SecurityFixture : public ::testing::Test {
protected:
    TemporaryHome home;
    platform::ManualClock clock{platform::Date{800000000.0}};
    asio::io_context writer;
    std::shared_ptr<platform::UserDefaults> defaults =
        platform::UserDefaults::create(clock, writer.get_executor(), nullptr);
    HalvardineSecurity security{*defaults, clock};

    // The objects a fresh process would make: nothing carried in memory.
    void restart() {
        defaults = platform::UserDefaults::create(clock, writer.get_executor(), nullptr);
        security = HalvardineSecurity(*defaults, clock);
    }
};

}  // namespace zentrabo::testing
