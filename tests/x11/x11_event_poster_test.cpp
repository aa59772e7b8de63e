// Input posted through XTest as the test application receives it: keys by
// their place whatever the layout, text by its symbols, the Mac modifiers on
// Control and Alt, the pointer, the wheel and the media keys.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/desktop/x11/x11_event_poster.hpp"
#include "support/test_application.hpp"
#include "support/x11_session.hpp"
#include "support/x11_witness.hpp"

namespace zentrabo::testing {
namespace {

using platform::EventFlags;
using platform::KeyboardEvent;
using platform::MouseEvent;
using platform::MouseEventType;
using platform::ScrollEvent;
using platform::ScrollUnit;
namespace eventflag = platform::eventflag;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr platform::KeyCode commandKey = 55, controlKey = 59, aKey = 0, bKey = 11, spaceKey = 49;

class X11EventPosterTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        application_.emplace(TestApplicationOptions{.windows = {{"Input", 400, 300, {{200, 200}}, {}, {}}}});
        const auto mapped = reports().waitFor("mapped", "Input");
        ASSERT_TRUE(mapped);
        originX_ = static_cast<int>(mapped->integer("x").value_or(0));
        originY_ = static_cast<int>(mapped->integer("y").value_or(0));
        witnessOutput("xdotool windowactivate --sync " + std::to_string(mapped->integer("xid").value_or(0)));
        poster_.emplace(std::getenv("DISPLAY"));
    }

    TestApplicationReports& reports() { return application_->reports(); }
    bool post(const platform::InputEvent& event) { return poster_->post(event); }
    void key(platform::KeyCode code, bool down, EventFlags flags = 0, std::u16string text = {}) {
        EXPECT_TRUE(post(KeyboardEvent{code, down, flags, std::move(text)})) << "key " << code;
    }
    void tapKey(platform::KeyCode code, EventFlags flags = 0) {
        key(code, true, flags);
        key(code, false, flags);
    }
    // The next key report of the action: its keysym and modifiers.
    std::string nextKey(const std::string& action = "press") {
        for (;;) {
            const auto report = reports().waitFor("key", "Input");
            if (!report) return "(none)";
            if (report->text("action") != action) continue;
            std::string modifiers;
            const auto list = report->value("modifiers");
            if (const auto names = list ? list->asArray() : std::nullopt) {
                for (const auto& name : *names) modifiers += "+" + std::string(name.asString().value_or(""));
            }
            return report->text("keysym").value_or("") + modifiers;
        }
    }
    std::string typedText(std::size_t characters) {
        std::string text;
        for (std::size_t count = 0; count < characters; ++count) {
            const auto report = reports().waitFor("text", "Input");
            if (!report) break;
            text += report->text("text").value_or("");
        }
        return text;
    }
    platform::Point inWindow(int x, int y) const { return {double(originX_ + x), double(originY_ + y)}; }
    std::string click(const std::string& action) {
        const auto report = reports().waitFor("click", "Input");
        if (!report) return "(none)";
        EXPECT_EQ(report->text("action"), action);
        return std::to_string(report->integer("button").value_or(0)) + "@" +
               std::to_string(report->integer("x").value_or(-1)) + "," +
               std::to_string(report->integer("y").value_or(-1)) + "#" +
               std::to_string(report->integer("clickCount").value_or(0));
    }

    std::optional<TestApplication> application_;
    std::optional<platform::X11EventPoster> poster_;
    int originX_ = 0, originY_ = 0;
};

TEST_F(X11EventPosterTest, KeysArriveAsTheirUSSymbols) {
    const std::pair<platform::KeyCode, const char*> table[] = {
        {0, "a"},       {6, "z"},          {16, "y"},       {18, "1"},         {29, "0"},
        {27, "minus"},  {47, "period"},    {44, "slash"},   {41, "semicolon"}, {50, "grave"},
        {123, "Left"},  {126, "Up"},       {122, "F1"},     {111, "F12"},      {36, "Return"},
        {53, "Escape"}, {51, "BackSpace"}, {117, "Delete"}, {48, "Tab"},       {49, "space"},
    };
    for (const auto& [code, keysym] : table) {
        tapKey(code);
        EXPECT_EQ(nextKey(), keysym) << "key code " << code;
    }
    EXPECT_FALSE(post(KeyboardEvent{52, true, 0, {}}));  // names no key
}

TEST_F(X11EventPosterTest, KeysKeepTheirPlaceUnderAGermanLayout) {
    witnessOutput("setxkbmap de");
    // z, ä, ö, ü and ß as the German table sends them: by their US place.
    for (const platform::KeyCode code : {16, 39, 41, 33, 27}) tapKey(code);
    EXPECT_EQ(typedText(5), "zäöüß");
    witnessOutput("setxkbmap us");
}

TEST_F(X11EventPosterTest, TextTypesExactlyAndLeavesTheKeymapAsItWas) {
    const std::string keymapBefore = witnessOutput("xmodmap -pke");
    ASSERT_THAT(keymapBefore, HasSubstr("keycode"));
    // The Space key-down carries the text; its up carries none.
    key(spaceKey, true, 0, u"é€ß✓aA!");
    key(spaceKey, false);
    EXPECT_EQ(typedText(7), "é€ß✓aA!");
    EXPECT_EQ(witnessOutput("xmodmap -pke"), keymapBefore);
}

TEST_F(X11EventPosterTest, CommandAndControlArriveAsTheTwoControlKeys) {
    key(commandKey, true, eventflag::command);
    tapKey(aKey, eventflag::command);
    key(commandKey, false);
    EXPECT_EQ(nextKey(), "Control_L");
    EXPECT_EQ(nextKey(), "a+control");

    key(commandKey, true, eventflag::command);
    key(controlKey, true, eventflag::command | eventflag::control);
    tapKey(aKey, eventflag::command | eventflag::control);
    key(controlKey, false, eventflag::command);
    key(commandKey, false);
    EXPECT_EQ(nextKey(), "Control_L");
    EXPECT_EQ(nextKey(), "Control_R+control");
    EXPECT_EQ(nextKey(), "a+control");

    // A flag without its key down holds the key around the event alone.
    tapKey(aKey, eventflag::command | eventflag::option);
    EXPECT_EQ(nextKey(), "Control_L");
    EXPECT_EQ(nextKey(), "Alt_L+control");
    EXPECT_EQ(nextKey(), "a+control+alt");
    // Nothing stays down.
    tapKey(bKey);
    EXPECT_EQ(nextKey(), "b");
}

// Every poster's last key-up reaches the server before it disconnects, and a
// modifier it leaves down is let go: otherwise the server still counts the
// key as down and drops its next press.
TEST_F(X11EventPosterTest, APosterThatGoesLeavesNoKeyDown) {
    for (int round = 0; round < 5; ++round) {
        tapKey(bKey);
        poster_.emplace(std::getenv("DISPLAY"));
    }
    key(commandKey, true, eventflag::command);
    poster_.emplace(std::getenv("DISPLAY"));
    tapKey(aKey);
    for (int round = 0; round < 5; ++round) EXPECT_EQ(nextKey(), "b") << "round " << round;
    EXPECT_EQ(nextKey(), "Control_L");
    EXPECT_EQ(nextKey(), "a");
}

TEST_F(X11EventPosterTest, PointerEventsArriveWhereSent) {
    const auto mouse = [&](MouseEventType type, int x, int y, std::int64_t clicks = 1, EventFlags flags = 0) {
        EXPECT_TRUE(post(MouseEvent{type, inWindow(x, y), clicks, flags}));
    };
    mouse(MouseEventType::mouseMoved, 40, 30);
    mouse(MouseEventType::leftMouseDown, 40, 30, 1, eventflag::command);
    mouse(MouseEventType::leftMouseUp, 40, 30, 1, eventflag::command);
    const auto withCommand = reports().waitFor("click", "Input");
    ASSERT_TRUE(withCommand);
    EXPECT_THAT(withCommand->line(), HasSubstr(R"("modifiers": ["control"])"));
    EXPECT_EQ(click("release"), "1@40,30#0");

    mouse(MouseEventType::rightMouseDown, 300, 200);
    mouse(MouseEventType::rightMouseUp, 300, 200);
    EXPECT_EQ(click("press"), "3@300,200#1");
    EXPECT_EQ(click("release"), "3@300,200#0");

    for (const std::int64_t count : {1, 2}) {
        mouse(MouseEventType::leftMouseDown, 100, 100, count);
        mouse(MouseEventType::leftMouseUp, 100, 100, count);
    }
    EXPECT_EQ(click("press"), "1@100,100#1");
    EXPECT_EQ(click("release"), "1@100,100#0");
    EXPECT_EQ(click("press"), "1@100,100#2");
    EXPECT_EQ(click("release"), "1@100,100#0");

    // Out of double-click distance, then dragged.
    mouse(MouseEventType::leftMouseDown, 20, 250);
    mouse(MouseEventType::leftMouseDragged, 200, 260);
    mouse(MouseEventType::leftMouseDragged, 350, 280);
    mouse(MouseEventType::leftMouseUp, 350, 280);
    EXPECT_EQ(click("press"), "1@20,250#1");
    EXPECT_EQ(click("release"), "1@350,280#0");
}

TEST_F(X11EventPosterTest, ScrollsTurnTheWheelAtTheirPlace) {
    const auto scrolls = [&](std::size_t count) {
        std::vector<std::string> seen;
        for (std::size_t at = 0; at < count; ++at) {
            const auto report = reports().waitFor("scroll", "Input");
            if (!report) break;
            seen.push_back(report->text("direction").value_or("") + "@" +
                           std::to_string(report->integer("x").value_or(-1)) + "," +
                           std::to_string(report->integer("y").value_or(-1)));
        }
        return seen;
    };
    EXPECT_TRUE(post(ScrollEvent{.unit = ScrollUnit::line, .deltaY = -2, .deltaX = 1, .location = inWindow(50, 60)}));
    EXPECT_THAT(scrolls(3), ElementsAre("down@50,60", "down@50,60", "left@50,60"));
    // Pixels add up to a wheel click.
    for (int step = 0; step < 2; ++step) {
        EXPECT_TRUE(post(ScrollEvent{.unit = ScrollUnit::pixel,
                                     .deltaY = static_cast<std::int32_t>(platform::WheelClicks::pixelsPerClick / 2),
                                     .location = inWindow(70, 80)}));
    }
    EXPECT_THAT(scrolls(1), ElementsAre("up@70,80"));
}

TEST_F(X11EventPosterTest, MediaKeysTypeTheirSymbols) {
    constexpr std::int64_t volumeUp = 0, auxiliaryControlButtons = 8;
    for (const std::int64_t phase : {0x0A00, 0x0B00}) {
        EXPECT_TRUE(post(platform::SystemDefinedEvent{auxiliaryControlButtons, (volumeUp << 16) | phase, -1,
                                                      static_cast<EventFlags>(phase)}));
    }
    // The toolkit names XF86 keysyms without their prefix.
    EXPECT_EQ(nextKey(), "AudioRaiseVolume");
    EXPECT_FALSE(post(platform::SystemDefinedEvent{auxiliaryControlButtons, (99 << 16) | 0x0A00, -1, 0}));
}

}  // namespace
}  // namespace zentrabo::testing
