// Keyboard events from a stream's device: which route each takes and what
// reaches the desktop.
#include <gmock/gmock.h>

#include "key_input_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;
using Lines = std::vector<std::string>;

struct Delivery {
    const char* what;
    RemoteScreenKeyboardEvent event;
    Lines posted;
    std::optional<std::string> field = std::nullopt;  // the focused field afterwards
};

class RemoteKeyboardTest : public KeyInputTest {
protected:
    void expectDeliveries(const std::vector<Delivery>& deliveries, std::optional<std::string> fieldText,
                          const DesktopBuilder& builder = {}) {
        for (const auto& delivery : deliveries) {
            SCOPED_TRACE(delivery.what);
            startEditor(fieldText, builder);
            controller->handleRemoteKeyboardEvent(delivery.event);
            EXPECT_THAT(postedInput(), ElementsAreArray(delivery.posted));
            if (delivery.field) {
                EXPECT_EQ(this->fieldText(), delivery.field);
            }
            EXPECT_THAT(desktop->heldKeys(), IsEmpty());
        }
    }
};

TEST_F(RemoteKeyboardTest, WithoutATextFieldEachEventTakesItsRoute) {
    expectDeliveries(
        {
            {"a media key in upper case",
             {"VOLUME-UP", {}, "x", true},
             {"system 8 0xa00 -1 0xa00", "system 8 0xb00 -1 0xb00"}},
            {"mute",
             {" Mute ", {"cmd"}, std::nullopt, std::nullopt},
             {"system 8 0x70a00 -1 0xa00", "system 8 0x70b00 -1 0xb00"}},
            {"a letter falls back to a text event", {"a", {}, "a", std::nullopt}, {"down 0 \"a\"", "up 0"}},
            {"command forces a key press",
             {"a", {"cmd"}, "a", true},
             {"down 55 command", "down 0 command", "up 0 command", "up 55"}},
            {"control forces a key press",
             {"a", {" CTRL "}, "a", true},
             {"down 59 control", "down 0 control", "up 0 control", "up 59"}},
            {"shift stays text", {"a", {"shift"}, "A", true}, {"down 0 shift \"A\"", "up 0 shift"}},
            {"option stays text", {"e", {"alt"}, "€", true}, {"down 49 \"€\"", "up 49"}},
            {"a shifted symbol", {"slash", {"shift"}, "?", true}, {"down 44 shift \"?\"", "up 44 shift"}},
            {"the grave accent shifted", {"`", {"shift"}, "~", true}, {"down 50 shift \"~\"", "up 50 shift"}},
            {"an emoji with a modifier is one character but no key",
             {"space", {}, "👍🏽", true},
             {"down 49 \"👍🏽\"", "up 49"}},
            {"a word", {"v", {}, "hello", true}, {"down 49 \"hello\"", "up 49"}},
            {"return with a line feed is a key press", {"return", {}, "\n", true}, {"down 36", "up 36"}},
            {"a lone tab on a text key", {"i", {}, "\t", true}, {"down 49 \"\t\"", "up 49"}},
            {"no characters: the key", {"space", {}, "", true}, {"down 49", "up 49"}},
            {"text insertion refused: the key", {"a", {}, "a", false}, {"down 0", "up 0"}},
        },
        std::nullopt);
}

TEST_F(RemoteKeyboardTest, PrintableTextGoesIntoTheFocusedField) {
    expectDeliveries(
        {
            {"a letter", {"a", {}, "a", std::nullopt}, {}, "Hi a"},
            {"shifted", {"a", {"shift"}, "A", true}, {}, "Hi A"},
            {"a word with an option", {"x", {"option"}, "≈ ok", true}, {}, "Hi ≈ ok"},
            {"command still presses",
             {"a", {"command"}, "a", true},
             {"down 55 command", "down 0 command", "up 0 command", "up 55"},
             "Hi "},
        },
        "Hi ");
}

TEST_F(RemoteKeyboardTest, GermanLayoutKeysTypeTheCharactersWhenInsertionFails) {
    const std::vector<Delivery> german = {
        {"z is where y is on US keys", {"z", {}, "z", true}, {"down 16 \"z\"", "up 16"}},
        {"Y with shift", {"y", {"shift"}, "Y", true}, {"down 6 shift \"Y\"", "up 6 shift"}},
        {"@ with option", {"l", {"alt"}, "@", true}, {"down 37 option \"@\"", "up 37 option"}},
        {"backslash with option and shift",
         {"7", {"alt", "shift"}, "\\", true},
         {"down 26 option+shift \"\\\"", "up 26 option+shift"}},
        {"ß", {"ß", {}, "ß", true}, {"down 27 \"ß\"", "up 27"}},
    };
    DesktopBuilder byCurrentLayout;
    byCurrentLayout.keyboardLayout("com.apple.keylayout.DE-Standard");
    expectDeliveries(german, std::nullopt, byCurrentLayout);
    DesktopBuilder bySourceName;
    bySourceName.keyboardLayout("com.apple.keylayout.US", {{"Swiss GERMAN", "com.example.swiss"}});
    expectDeliveries(german, std::nullopt, bySourceName);
}

TEST_F(RemoteKeyboardTest, OnlyGermanNamesOrIdentifiersMakeTheLayoutGerman) {
    struct Layout {
        std::optional<std::string> current;
        std::vector<ScenarioInputSource> sources;
        bool german;
    };
    const Layout layouts[] = {
        {std::nullopt, {}, false},
        {"com.apple.keylayout.German", {}, true},
        {"COM.EXAMPLE.LAYOUT.DE", {}, true},
        {"com.apple.keylayout.US", {}, false},
        {"com.apple.keylayout.US", {{"U.S.", "com.apple.keylayout.US"}, {"German", "x"}}, true},
        {"com.apple.keylayout.US", {{"x", "com.example.German"}}, true},
        {"com.apple.keylayout.US", {{"Deutsch", "com.example.layout-deutsch"}}, false},
        {"com.apple.keylayout.US", {{"x.DE", "com.example.x"}}, false},  // ".de" counts in identifiers only
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.current.value_or("(none)"));
        DesktopBuilder builder;
        if (layout.current) builder.keyboardLayout(*layout.current, layout.sources);
        start(builder);
        EXPECT_EQ(controller->usesGermanKeyboardLayout(), layout.german);
    }
}

TEST_F(RemoteKeyboardTest, FailuresOfTheKeyRoute) {
    struct Refusal {
        const char* what;
        RemoteScreenKeyboardEvent event;
        Case failure;
    };
    const Refusal refusals[] = {
        {"an unknown key with insertion refused", {"ä", {}, "ä", false}, Case::keyPressUnsupported},
        {"an unknown key with command", {"ä", {"cmd"}, "ä", true}, Case::keyPressUnsupported},
        {"an empty key without characters", {"", {}, std::nullopt, true}, Case::keyPressRequired},
    };
    startEditor(std::nullopt);
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        EXPECT_EQ(failure([&] { controller->handleRemoteKeyboardEvent(refusal.event); }), refusal.failure);
    }
    desktop->setAccessibilityTrusted(false);
    EXPECT_EQ(failure([&] {
                  controller->handleRemoteKeyboardEvent({"volumeup", {}, std::nullopt, true});
              }),
              Case::accessibilityMissing);
    EXPECT_THAT(postedInput(), IsEmpty());
}

TEST_F(RemoteKeyboardTest, ABrokenTextOrMediaEventPairFails) {
    startEditor(std::nullopt);
    desktop->failPost(2);
    EXPECT_EQ(failure([&] { controller->handleRemoteKeyboardEvent({"a", {}, "a", true}); }), Case::actionFailed);
    EXPECT_THAT(postedInput(), ElementsAreArray(Lines{"down 0 \"a\"", "up 0"}));
    EXPECT_THAT(desktop->heldKeys(), IsEmpty());

    desktop->clearJournal();
    desktop->failPost(2);
    EXPECT_EQ(failure([&] {
                  controller->handleRemoteKeyboardEvent({"mute", {}, std::nullopt, true});
              }),
              Case::actionFailed);
    EXPECT_THAT(postedInput(), ElementsAreArray(Lines{"system 8 0x70a00 -1 0xa00"})) << "the key-down stays posted";
}

}  // namespace
}  // namespace zentrabo
