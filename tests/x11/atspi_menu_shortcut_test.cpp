// Menu shortcuts from accessible key bindings.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/desktop/x11/atspi_menu_shortcut.hpp"

namespace zentrabo::platform {
namespace {

TEST(AtspiMenuShortcut, OnlyTheAcceleratorWithKnownModifiersAndOneCharacterIsAShortcut) {
    struct Case {
        const char* binding;
        std::optional<MenuShortcut> expected;
    };
    const Case cases[] = {
        {"n;<Alt>f:n;<Primary>n", MenuShortcut{"n", 0}},
        {";;<Control>s", MenuShortcut{"s", 0}},
        {";;<Primary><Shift>z", MenuShortcut{"z", menumodifier::shift}},
        {";;<Control><Alt><Shift>k", MenuShortcut{"k", menumodifier::shift | menumodifier::option}},
        {";;<Alt>x", MenuShortcut{"x", menumodifier::option | menumodifier::noCommand}},
        {";;q", MenuShortcut{"q", menumodifier::noCommand}},
        // Key symbol names of printable characters are that character.
        {";;<Primary>plus", MenuShortcut{"+", 0}},
        {";;<Primary>eacute", MenuShortcut{"é", 0}},
        // No accelerator, or only a mnemonic.
        {"n;<Alt>f:n;", std::nullopt},
        {"", std::nullopt},
        {"<Primary>n", std::nullopt},
        {";;<Primary>", std::nullopt},
        // Modifiers the callers cannot express, and broken ones.
        {";;<Super>n", std::nullopt},
        {";;<Primary><Meta>n", std::nullopt},
        {";;<Hyper>n", std::nullopt},
        {";;<Primary n", std::nullopt},
        // Keys that type no single printable character.
        {";;<Primary>Delete", std::nullopt},
        {";;F5", std::nullopt},
        {";;<Primary>space", std::nullopt},
        {";;<Primary>Return", std::nullopt},
        {";;<Primary>nosuchkey", std::nullopt},
    };
    for (const auto& [binding, expected] : cases) {
        EXPECT_EQ(menuShortcutOfKeyBinding(binding), expected) << binding;
    }
}

}  // namespace
}  // namespace zentrabo::platform
