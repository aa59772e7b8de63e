#pragma once
// A DesktopController on a virtual desktop that each test builds for itself,
// on a manual clock in a temporary home.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/desktop/desktop_fixture.hpp"

namespace zentrabo {

class ControllerTest : public platform::DesktopTest {
protected:
    void start(const platform::DesktopBuilder& builder) {
        DesktopTest::start(builder);
        controller.emplace(*desktop);
    }

    // The case of the MacMenuError that the call throws.
    static std::optional<MacMenuError::Case> failure(const std::function<void()>& call) {
        try {
            call();
        } catch (const MacMenuError& error) {
            return error.errorCase();
        }
        return std::nullopt;
    }

    std::optional<DesktopController> controller;
};

}  // namespace zentrabo
