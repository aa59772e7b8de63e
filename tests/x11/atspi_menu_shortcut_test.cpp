// Menu shortcuts from accessible key bindings.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/desktop/atspi/atspi_menu_shortcut.hpp"

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

TEST(AtspiMenuShortcut, QtsKeySequencesInEnglishAndTranslatedAreShortcutsButItsMnemonicsAreNot) {
    constexpr auto shift = menumodifier::shift;
    constexpr auto option = menumodifier::option;
    constexpr auto noCommand = menumodifier::noCommand;
    struct Case {
        const char* binding;
        const char* title;
        std::optional<MenuShortcut> expected;
    };
    const Case cases[] = {
        {"Ctrl+N", "New", MenuShortcut{"N", 0}},
        {"Ctrl+Shift+N", "New Window", MenuShortcut{"N", shift}},
        {"Ctrl+Alt+P", "Side-Pane", MenuShortcut{"P", option}},
        {"Shift+Alt+K", "", MenuShortcut{"K", shift | option | noCommand}},
        {"Ctrl++", "Zoom In", MenuShortcut{"+", 0}},
        {"Ctrl+,", "Settings", MenuShortcut{",", 0}},
        {"Ctrl+É", "", MenuShortcut{"É", 0}},
        {"N", "", MenuShortcut{"N", noCommand}},
        // Qt's own translations of the modifier names.
        {"Strg+Umschalt+S", "Speichern unter", MenuShortcut{"S", shift}},
        {"Ctrl+Maj+S", "", MenuShortcut{"S", shift}},
        {"Control+Mayúsculas+Z", "", MenuShortcut{"Z", shift}},
        // Alt with a letter of the title is the item's mnemonic; with
        // another, or with more modifiers, a shortcut.
        {"Alt+D", "Delete", std::nullopt},
        {"Alt+s", "East Asian", std::nullopt},
        {"Alt+X", "Delete", MenuShortcut{"X", option | noCommand}},
        {"Ctrl+Alt+D", "Delete", MenuShortcut{"D", option}},
        // Keys that type no single printable character.
        {"Alt+F4", "Close", std::nullopt},
        {"F1", "Help", std::nullopt},
        {"Ctrl+", "", std::nullopt},
        {"+", "", MenuShortcut{"+", noCommand}},
        // Modifiers the callers cannot express, unknown names, and several
        // chords.
        {"Meta+N", "", std::nullopt},
        {"Ctrl+Méta+N", "", std::nullopt},
        {"Ctrl+K, Ctrl+C", "", std::nullopt},
        {"Ctrl++N", "", std::nullopt},
        {"Ctrl+\xff", "", std::nullopt},
    };
    for (const auto& [binding, title, expected] : cases) {
        EXPECT_EQ(menuShortcutOfKeyBinding(binding, title), expected) << binding << " / " << title;
    }
}

}  // namespace
}  // namespace zentrabo::platform
