// The session's keyboard layouts as the controllers read them, with
// setxkbmap choosing the layouts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/x11/x11_keyboard_layout.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "support/temporary_home.hpp"
#include "support/x11_session.hpp"
#include "support/x11_witness.hpp"
#include "x11/session_services_desktop.hpp"

namespace zentrabo::testing {
namespace {

using platform::PropertyListValue;

class X11KeyboardLayoutTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        layout_.emplace(std::getenv("DISPLAY"));
    }
    void TearDown() override {
        lockGroup(0);
        witnessOutput("setxkbmap -layout us");
    }

    // Locks the keyboard's group as a layout switcher does (setxkbmap keeps
    // the locked group; xdotool would put it back after its key).
    static void lockGroup(int group) {
        witnessOutput(
            "/usr/bin/python3 -c \"import ctypes; x11 = ctypes.CDLL('libX11.so.6'); "
            "x11.XOpenDisplay.restype = ctypes.c_void_p; display = ctypes.c_void_p(x11.XOpenDisplay(None)); "
            "x11.XkbLockGroup(display, 0x100, " +
            std::to_string(group) + "); x11.XSync(display, 0)\"");
    }

    // The key code the controller picks for a typed "z": the German
    // layout's place for it, or the US one.
    platform::KeyCode keyCodeTypingZ() {
        auto model = platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock_);
        SessionServicesDesktop desktop(*model, {.keyboardLayout = &*layout_});
        DesktopController controller(desktop);
        controller.handleRemoteKeyboardEvent({"z", {}, "z", true});
        for (const auto& event : model->postedEvents()) {
            if (const auto* key = std::get_if<platform::KeyboardEvent>(&event)) return key->keyCode;
        }
        return 0xFFFF;
    }
    std::string text(const PropertyListValue& dictionary, std::string_view key) {
        const auto* value = dictionary.find(key);
        return value && value->string() ? *value->string() : std::string("(none)");
    }

    TemporaryHome home_;
    platform::ManualClock clock_;
    std::optional<platform::X11KeyboardLayout> layout_;
};

TEST_F(X11KeyboardLayoutTest, AGermanLayoutTakesTheGermanKeys) {
    constexpr platform::KeyCode germanZ = 16, usZ = 6;
    const std::pair<const char*, platform::KeyCode> cases[] = {
        {"-layout de", germanZ},
        {"-layout us", usZ},
        {"-layout fr", usZ},
        // A German layout among the configured ones is enough.
        {"-layout us,de", germanZ},
        {"-layout de -variant nodeadkeys", germanZ},
    };
    for (const auto& [arguments, expected] : cases) {
        witnessOutput(std::string("setxkbmap ") + arguments);
        EXPECT_EQ(keyCodeTypingZ(), expected) << arguments;
    }
}

TEST_F(X11KeyboardLayoutTest, TheCurrentLayoutFollowsTheGroup) {
    witnessOutput("setxkbmap -layout us,de");
    lockGroup(0);
    const auto sourceIdentifiers = [&] {
        std::vector<std::string> identifiers;
        const auto suite = layout_->textInputPreferences();
        const auto* sources = suite ? suite->find("AppleSelectedInputSources") : nullptr;
        if (sources && sources->array()) {
            for (const auto& source : *sources->array()) {
                identifiers.push_back(text(source, "KeyboardLayout Name") + " " + text(source, "InputSource ID"));
            }
        }
        return identifiers;
    };
    const auto current = [&] {
        const auto suite = layout_->textInputPreferences();
        return suite ? text(*suite, "AppleCurrentKeyboardLayoutInputSourceID") : "(no suite)";
    };
    const auto identifiers = sourceIdentifiers();
    ASSERT_EQ(identifiers.size(), 2u);
    EXPECT_EQ(identifiers[0].rfind("English (US) ", 0), 0u) << identifiers[0];
    EXPECT_EQ(identifiers[1].rfind("German ", 0), 0u) << identifiers[1];
    EXPECT_EQ("English (US) " + current(), identifiers[0]);
    lockGroup(1);
    EXPECT_EQ("German " + current(), identifiers[1]);
}

}  // namespace
}  // namespace zentrabo::testing
