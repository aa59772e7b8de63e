// Key names and modifier names become key events; a sequence that breaks
// off leaves no key down.
#include <gmock/gmock.h>

#include "key_input_fixture.hpp"

namespace zentrabo {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;
using Keys = std::vector<std::string>;
using Names = std::optional<std::vector<std::string>>;

class KeyPressesTest : public KeyInputTest {
protected:
    void SetUp() override { startEditor(std::nullopt); }
};

TEST_F(KeyPressesTest, KeysAndModifiersPostInTheirOrder) {
    struct Press {
        std::string key;
        Names modifiers;
        Keys posted;
    };
    const Press presses[] = {
        {" ReTurn\n", std::nullopt, {"down 36", "up 36"}},
        {"A", Names(std::vector<std::string>{}), {"down 0", "up 0"}},  // no shift added
        {"+", std::nullopt, {"down 24", "up 24"}},
        {"=", std::nullopt, {"down 24", "up 24"}},
        {"`", std::nullopt, {"down 50", "up 50"}},
        {"enter", std::nullopt, {"down 76", "up 76"}},
        {"F12", std::nullopt, {"down 111", "up 111"}},
        {"t",
         Names{{"cmd", "shift"}},
         {"down 56 shift", "down 55 shift+command", "down 17 shift+command", "up 17 shift+command", "up 55 shift",
          "up 56"}},
        {"x", Names{{"option", "alt"}}, {"down 58 option", "down 7 option", "up 7 option", "up 58"}},
        {"z",
         Names{{" CMD ", "Shift", "hyper"}},
         {"down 56 shift", "down 55 shift+command", "down 6 shift+command", "up 6 shift+command", "up 55 shift",
          "up 56"}},
        {"y",
         Names{{"meta", "alt", "ctrl", "shift"}},
         {"down 59 control", "down 58 control+option", "down 56 control+option+shift",
          "down 55 control+option+shift+command", "down 16 control+option+shift+command",
          "up 16 control+option+shift+command", "up 55 control+option+shift", "up 56 control+option", "up 58 control",
          "up 59"}},
    };
    for (const auto& press : presses) {
        SCOPED_TRACE(press.key);
        desktop->clearJournal();
        controller->pressKey(press.key, press.modifiers);
        EXPECT_THAT(postedInput(), ElementsAreArray(press.posted));
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }
}

TEST_F(KeyPressesTest, MissingAndUnknownKeysPostNothing) {
    struct Refusal {
        std::optional<std::string> key;
        Names modifiers;
        Case failure;
        std::string message;
    };
    const Refusal refusals[] = {
        {std::nullopt, std::nullopt, Case::keyPressRequired, "A key is required."},
        {"", Names{{"cmd"}}, Case::keyPressRequired, "A key is required."},
        {" \n\t", Names{{"cmd"}}, Case::keyPressRequired, "A key is required."},
        {"f13", std::nullopt, Case::keyPressUnsupported, "Unsupported key: f13"},
        {" Ü ", std::nullopt, Case::keyPressUnsupported, "Unsupported key:  Ü "},
        {"return!", Names{{"shift"}}, Case::keyPressUnsupported, "Unsupported key: return!"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.key.value_or("(none)"));
        try {
            controller->pressKey(refusal.key, refusal.modifiers);
            ADD_FAILURE() << "no failure";
        } catch (const MacMenuError& error) {
            EXPECT_EQ(error.errorCase(), refusal.failure);
            EXPECT_EQ(error.errorDescription(), refusal.message);
        }
    }
    EXPECT_THAT(postedInput(), IsEmpty());
}

TEST_F(KeyPressesTest, MissingTrustIsReportedBeforeTheKey) {
    desktop->setAccessibilityTrusted(false);
    EXPECT_EQ(failure([&] { controller->pressKey(std::nullopt, std::nullopt); }), Case::accessibilityMissing);
    EXPECT_EQ(failure([&] { controller->pressKey("f13", std::nullopt); }), Case::accessibilityMissing);
    EXPECT_THAT(postedInput(), IsEmpty());
}

// Whichever event cannot be made, the keys already down go up again, last
// first, each with the modifiers still down; what was posted stays posted.
TEST_F(KeyPressesTest, AnEventFailingAnywhereInASequenceLeavesNoKeyHeld) {
    struct Breakoff {
        std::size_t failingPost;
        Keys posted;
    };
    const Breakoff commandShiftT[] = {
        {1, {}},
        {2, {"down 56 shift", "up 56"}},
        {3, {"down 56 shift", "down 55 shift+command", "up 55 shift", "up 56"}},
        {4,
         {"down 56 shift", "down 55 shift+command", "down 17 shift+command", "up 17 shift+command", "up 55 shift",
          "up 56"}},
        {5,
         {"down 56 shift", "down 55 shift+command", "down 17 shift+command", "up 17 shift+command", "up 55 shift",
          "up 56"}},
        {6,
         {"down 56 shift", "down 55 shift+command", "down 17 shift+command", "up 17 shift+command", "up 55 shift",
          "up 56"}},
    };
    for (const auto& breakoff : commandShiftT) {
        SCOPED_TRACE(breakoff.failingPost);
        desktop->clearJournal();
        desktop->failPost(breakoff.failingPost);
        EXPECT_EQ(failure([&] { controller->pressKey("t", Names{{"cmd", "shift"}}); }), Case::actionFailed);
        EXPECT_THAT(postedInput(), ElementsAreArray(breakoff.posted));
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }

    const Breakoff plainA[] = {{1, {}}, {2, {"down 0", "up 0"}}};
    for (const auto& breakoff : plainA) {
        SCOPED_TRACE(breakoff.failingPost);
        desktop->clearJournal();
        desktop->failPost(breakoff.failingPost);
        EXPECT_EQ(failure([&] { controller->pressKey("a", std::nullopt); }), Case::actionFailed);
        EXPECT_THAT(postedInput(), ElementsAreArray(breakoff.posted));
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }
}

}  // namespace
}  // namespace zentrabo
