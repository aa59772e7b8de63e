// The accessibility trees, windows, displays and input of the virtual desktop,
// and the journal of what callers did.
#include <cmath>

#include <gmock/gmock.h>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class ModelTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        ScenarioWindow draft;
        draft.title = "Draft";
        draft.frame = {100, 100, 400, 300};
        draft.text = "Helo";
        draft.color = 0xFF0000FF;
        builder.application("Editor", "com.example.editor")
            .menu("File", {menuItem("Save", "cmd+S"), separator(),
                           submenu("Open Recent", {menuItem("a.txt"), menuItem("b.txt")})})
            .window(draft)
            .window("Hidden Away", {0, 0, 200, 200});
        builder.application("Helper", "com.example.helper").policy(ActivationPolicy::accessory).notInstalled();
        builder.display(1, {0, 0, 1000, 800}, 2.0, "Studio").display(7, {1000, 0, 800, 600});
        builder.frontmost("com.example.editor");
        start(builder);
        editor = desktop->applicationElement(running("com.example.editor")->processIdentifier());
    }

    std::vector<ListedWindow> onScreen() {
        auto list = desktop->windows().value_or(std::vector<ListedWindow>{});
        std::erase_if(list, [](const ListedWindow& window) { return !window.onScreen; });
        return list;
    }

    std::vector<WindowID> onScreenApplicationWindows() {
        std::vector<WindowID> numbers;
        for (const auto& window : onScreen()) {
            if (!window.isDesktopElement) numbers.push_back(window.id);
        }
        return numbers;
    }

    std::vector<ApplicationWindow> editorWindows() {
        return desktop->applicationWindows(static_cast<ProcessID>(editor.identity()));
    }

    AXElement editor;
};

TEST_F(ModelTest, MenusAnswerAsTheAccessibilityInterfaceDoes) {
    const auto bar = std::get<AXElement>(*read(editor, "AXMenuBar").value);
    const auto file = children(bar).at(0);
    EXPECT_EQ(std::get<std::string>(*read(file, "AXRole").value), "AXMenuBarItem");
    EXPECT_EQ(read(file, "AXMenuItemCmdChar").error, axerror::attributeUnsupported);

    const auto menu = children(file).at(0);
    const auto items = children(menu);
    ASSERT_EQ(items.size(), 3u);
    const auto save = read(items[0], "AXMenuItemCmdChar");
    EXPECT_EQ(save.error, axerror::success);
    EXPECT_EQ(std::get<std::string>(*save.value), "S");
    EXPECT_EQ(std::get<std::int64_t>(*read(items[0], "AXMenuItemCmdModifiers").value), 0);

    const auto separatorChar = read(items[1], "AXMenuItemCmdChar");
    EXPECT_EQ(separatorChar.error, axerror::success) << "a menu item answers, without a value";
    EXPECT_FALSE(separatorChar.value);
    EXPECT_EQ(title(items[1]), "");

    const auto recent = children(items[2]);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(std::get<std::string>(*read(recent[0], "AXRole").value), "AXMenu");
    EXPECT_EQ(children(recent[0]).size(), 2u);
    EXPECT_EQ(std::get<AXElement>(*read(recent[0], "AXParent").value), items[2]);

    const auto helper = desktop->applicationElement(running("com.example.helper")->processIdentifier());
    EXPECT_EQ(read(helper, "AXMenuBar").error, axerror::noValue) << "a menu-bar agent has no menu bar";
}

TEST_F(ModelTest, WindowGeometryFollowsItsElementAndMinimizedWindowsLeaveTheScreen) {
    const auto windows = editorWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_TRUE(windows[0].focused && !windows[1].focused);
    EXPECT_EQ(desktop->setWindowPosition(windows[0].handle, Point{300, 200}), axerror::success);
    EXPECT_EQ(desktop->setWindowSize(windows[0].handle, Size{50, 900}), axerror::success);
    EXPECT_EQ(desktop->windowFrame(windows[0].handle)->size(), (Size{120, 900})) << "windows have a minimum size";
    EXPECT_EQ(desktop->setWindowSize(windows[0].handle, Size{std::nan(""), 1}), axerror::illegalArgument);

    const auto front = onScreen().at(0);
    EXPECT_EQ(front.frame.x, 300);
    EXPECT_EQ(front.frame.width, 120);

    desktop->setWindowMinimized(windows[1].handle, true);
    EXPECT_TRUE(editorWindows().at(1).minimized);
    EXPECT_THAT(onScreenApplicationWindows(), ElementsAre(*windows[0].number));
    const auto minimized = listedWindow(*desktop, *windows[1].number);
    ASSERT_TRUE(minimized);
    EXPECT_FALSE(minimized->onScreen);
}

TEST_F(ModelTest, TheWindowListPutsDesktopPicturesLastAndHidesTitlesWithoutPermission) {
    const auto all = onScreen();
    ASSERT_EQ(all.size(), 4u) << "two windows and one desktop picture per display";
    EXPECT_EQ(all[2].ownerName, "Dock");
    EXPECT_TRUE(all[2].isDesktopElement);
    EXPECT_EQ(all[3].title, "Wallpaper-7");
    EXPECT_LT(all[3].layer, 0);

    desktop->setScreenRecordingAllowed(false);
    EXPECT_FALSE(onScreen().at(0).title);
    EXPECT_FALSE(desktop->shareableContent(true, true));
    EXPECT_FALSE(desktop->windowImage(*editorWindows().at(0).number));
}

TEST_F(ModelTest, DisplayImagesShowTheWindowsAtThePixelScale) {
    EXPECT_EQ(desktop->mainDisplayID(), 1u);
    EXPECT_EQ(desktop->pixelsWide(1), 2000);
    EXPECT_EQ(desktop->localizedName(7), std::nullopt);
    const auto image = desktop->displayImage(1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2000u);
    const auto* inside = image->pixel(2 * 150, 2 * 150);
    EXPECT_EQ(inside[0], 0xFF);
    EXPECT_EQ(inside[1], 0x00) << "the red window covers (150, 150)";
    const auto* outside = image->pixel(2 * 900, 2 * 700);
    EXPECT_EQ(outside[0], 0x1E) << "the desktop picture shows elsewhere";

    desktop->setScreenRecordingAllowed(false);
    EXPECT_EQ(desktop->displayImage(1)->pixel(300, 300)[0], 0x1E) << "without permission: the desktop alone";
    desktop->setScreenRecordingAllowed(true);

    // A window may be given any size; its capture stays a bounded picture.
    const auto window = editorWindows().at(0);
    ASSERT_EQ(desktop->setWindowSize(window.handle, Size{1e12, 1e300}), axerror::success);
    const auto huge = desktop->windowImage(*window.number);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->width, 2000u) << "cut to its display's pixels";
    EXPECT_EQ(huge->height, static_cast<std::uint32_t>(desktop->pixelsHigh(1)));
}

TEST_F(ModelTest, DisplayModesSwitchAndChangeTheBounds) {
    auto modes = *desktop->allModes(7, true);
    ASSERT_EQ(modes.size(), 1u);
    DisplayMode larger{1024, 768, 1024, 768, 60, 0, 0, true};
    EXPECT_EQ(desktop->setMode(7, larger), displayerror::illegalArgument) << "only offered modes";
    EXPECT_EQ(desktop->setMode(7, modes[0]), displayerror::success);
    EXPECT_EQ(desktop->bounds(7), (Rect{1000, 0, 800, 600}));
}

TEST_F(ModelTest, TheJournalRecordsWhatCallersDid) {
    running("com.example.helper")->activate(false);
    desktop->openURL("https://example.com/a");
    EXPECT_FALSE(desktop->openURL("no scheme").ok);
    desktop->raiseWindow(editorWindows().at(1).handle);
    desktop->post(KeyboardEvent{36, true, 0, {}, EventSourceState::none});

    EXPECT_THAT(journalTexts(),
                ElementsAre("activate com.example.helper", "openURL https://example.com/a",
                            "raise com.example.editor: Hidden Away", "post com.example.helper: key 36 down flags 0x0"));
    ASSERT_EQ(desktop->postedEvents().size(), 1u);
    desktop->clearJournal();
    EXPECT_TRUE(desktop->journal().empty());
}

TEST_F(ModelTest, TypedTextAndCommandVReachTheFocusedTextField) {
    const auto field = std::get<AXElement>(*read(desktop->systemWideElement(), "AXFocusedUIElement").value);
    EXPECT_EQ(std::get<TextRange>(*read(field, "AXSelectedTextRange").value), (TextRange{4, 0}));
    EXPECT_EQ(desktop->setAttribute(field, "AXSelectedTextRange", TextRange{3, 5}), axerror::illegalArgument);
    desktop->setAttribute(field, "AXSelectedTextRange", TextRange{3, 0});

    desktop->post(KeyboardEvent{37, true, 0, u"l", EventSourceState::combinedSession});
    desktop->clearContents();
    desktop->setString(" wörld");
    desktop->setAttribute(field, "AXSelectedTextRange", TextRange{5, 0});
    desktop->post(KeyboardEvent{9, true, eventflag::command, {}, EventSourceState::none});

    EXPECT_EQ(std::get<std::string>(*read(field, "AXValue").value), "Hello wörld");
    EXPECT_EQ(std::get<TextRange>(*read(field, "AXSelectedTextRange").value), (TextRange{11, 0}));
    EXPECT_EQ(desktop->string(), " wörld");
    EXPECT_EQ(desktop->changeCount(), 1);
}

TEST_F(ModelTest, KeyboardPreferencesComeFromTheScenario) {
    DesktopBuilder builder;
    builder.keyboardLayout("com.apple.keylayout.German", {{"German", "com.apple.keylayout.German"}});
    start(builder);
    const auto suite = desktop->textInputPreferences();
    ASSERT_TRUE(suite);
    EXPECT_EQ(*suite->find("AppleCurrentKeyboardLayoutInputSourceID")->string(), "com.apple.keylayout.German");
    const auto& sources = *suite->find("AppleSelectedInputSources")->array();
    EXPECT_EQ(*sources.at(0).find("KeyboardLayout Name")->string(), "German");
}

TEST_F(ModelTest, FailureSwitchesNameOneCallAndHeldKeysFollowThePosts) {
    desktop->clearJournal();
    desktop->failPost(2);
    EXPECT_TRUE(desktop->post(KeyboardEvent{56, true, eventflag::shift, {}, EventSourceState::none}));
    EXPECT_FALSE(desktop->post(KeyboardEvent{0, true, eventflag::shift, {}, EventSourceState::none}));
    EXPECT_TRUE(desktop->post(KeyboardEvent{1, true, eventflag::shift, {}, EventSourceState::none}));
    EXPECT_EQ(desktop->postedEvents().size(), 2u) << "the failed event was never posted";
    EXPECT_THAT(desktop->heldKeys(), ElementsAre(56, 1));
    EXPECT_TRUE(desktop->post(KeyboardEvent{56, false, 0, {}, EventSourceState::none}));
    EXPECT_THAT(desktop->heldKeys(), ElementsAre(1));

    desktop->refusePasteboardWrite(1);
    EXPECT_FALSE(desktop->setString("refused"));
    EXPECT_TRUE(desktop->setString("kept"));
    EXPECT_EQ(desktop->string(), "kept");
}

TEST_F(ModelTest, AButtonPressOnAWindowBringsItForwardAndIsHeldUntilItsRelease) {
    running("com.example.helper")->activate(false);
    const auto press = [this](MouseEventType type, Point at) { desktop->post(MouseEvent{type, at, 1, 0, {}}); };
    // Only "Hidden Away" lies under (50, 50); the desktop picture under (1500, 500).
    press(MouseEventType::rightMouseDown, {50, 50});
    press(MouseEventType::leftMouseDown, {1500, 500});
    EXPECT_THAT(desktop->heldMouseButtons(),
                ElementsAre(VirtualDesktop::MouseButton::right, VirtualDesktop::MouseButton::left));
    EXPECT_EQ(desktop->frontmostApplication(), running("com.example.editor"));
    EXPECT_EQ(onScreen().at(0).title, "Hidden Away");
    press(MouseEventType::rightMouseUp, {50, 50});
    press(MouseEventType::leftMouseUp, {1500, 500});
    EXPECT_TRUE(desktop->heldMouseButtons().empty());
    EXPECT_THAT(journalTexts(), Contains("activate com.example.editor: click"));
}

}  // namespace
}  // namespace zentrabo::platform
