// Describing and dismissing the sheet or modal window that blocks an
// application.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;

ScenarioSheet saveSheet() {
    ScenarioSheet sheet;
    sheet.message = "Save changes?";
    sheet.buttons = {{"Save", {}}, {"Don't Save", {}}, {"Cancel", {}}};
    sheet.cancelButton = "Cancel";
    return sheet;
}

class ModalWindowsTest : public ControllerTest {
protected:
    // Starts a desktop whose editor shows sheet on its document window.
    void startWithSheet(const ScenarioSheet& sheet) {
        DesktopBuilder builder;
        builder.application("Editor", "com.example.editor")
            .menu("File", {menuItem("Close").then(opensSheet(sheet))})
            .window("Doc", {0, 0, 600, 400});
        builder.application("Mail", "com.example.mail").window("Inbox", {0, 0, 600, 400});
        builder.application("Notes", "com.example.notes").notRunning();
        builder.frontmost("com.example.editor");
        start(builder);
        ASSERT_EQ(desktop->performAction(menuElement("com.example.editor", {"File", "Close"}), "AXPress"),
                  axerror::success);
        desktop->clearJournal();
    }

    std::vector<std::string> presses() {
        std::vector<std::string> texts;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "press") texts.push_back(entry.text());
        }
        return texts;
    }

    // The failure of a dismissal, with the modal window it carries.
    MacMenuError dismissFailure(const std::optional<std::string>& buttonTitle,
                                const std::optional<std::string>& expectedTitle = std::nullopt) {
        try {
            controller->dismissModal("com.example.editor", buttonTitle, expectedTitle);
        } catch (const MacMenuError& error) {
            return error;
        }
        ADD_FAILURE() << "no failure";
        return MacMenuError(Case::actionFailed);
    }
};

TEST_F(ModalWindowsTest, DescribesTheSheetOfTheFocusedWindow) {
    ScenarioSheet sheet = saveSheet();
    sheet.buttons.push_back({"Save", {}});
    sheet.buttons.push_back({"", {}});
    startWithSheet(sheet);

    const auto info = controller->modalInfo("com.example.editor");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->role, "AXSheet");
    EXPECT_EQ(info->title, std::nullopt);
    EXPECT_EQ(info->subrole, std::nullopt);
    EXPECT_EQ(info->message, "Save changes?") << "from the static text inside it";
    EXPECT_THAT(info->buttonTitles, ElementsAre("Save", "Don't Save", "Cancel"));
    EXPECT_EQ(info->displayTitle(), "Save changes?");

    EXPECT_EQ(controller->modalInfo("com.example.mail"), std::nullopt);
    // Reading falls back to the frontmost application for a name that does
    // not run.
    EXPECT_EQ(controller->modalInfo("com.example.notes"), info);
    EXPECT_THAT(presses(), IsEmpty());
}

TEST_F(ModalWindowsTest, FindsAModalPanelThatIsNotFocusedThroughTheWindowList) {
    ScenarioSheet panel = saveSheet();
    panel.title = "Export";
    panel.panel = true;
    startWithSheet(panel);
    // The document comes in front of the panel, so the focused window holds
    // no modal element.
    const auto editor = desktop->applicationElement(running("com.example.editor")->processIdentifier());
    const auto windows = desktop->applicationWindows(static_cast<platform::ProcessID>(editor.identity()));
    ASSERT_EQ(windows.size(), 2u);
    ASSERT_EQ(desktop->raiseWindow(windows[1].handle), axerror::success);
    ASSERT_EQ(title(std::get<AXElement>(*read(editor, "AXFocusedWindow").value)), "Doc");

    const auto info = controller->modalInfo("com.example.editor");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, "Export");
    EXPECT_EQ(info->role, "AXWindow");
    EXPECT_EQ(info->subrole, "AXDialog");
}

TEST_F(ModalWindowsTest, DismissesWithTheCancelButtonOrTheNamedButton) {
    startWithSheet(saveSheet());
    EXPECT_EQ(controller->dismissModal("com.example.editor", std::nullopt, std::nullopt), std::nullopt);
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Cancel"));
    EXPECT_NEAR(clock.monotonicNow(), 0.2, 1e-9);
    // Nothing blocks any more: nothing is pressed and nothing fails.
    EXPECT_EQ(controller->dismissModal("com.example.editor", std::nullopt, std::nullopt), std::nullopt);
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Cancel"));

    startWithSheet(saveSheet());
    controller->dismissModal("com.example.editor", std::string("Don't Save"), std::nullopt);
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Don't Save"));
}

TEST_F(ModalWindowsTest, WithoutACancelButtonADismissTitleOrTheOnlyButtonIsPressed) {
    ScenarioSheet german;
    german.title = "Löschen?";
    german.buttons = {{"Löschen", {}}, {"Abbrechen", {}}};
    startWithSheet(german);
    controller->dismissModal(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > Löschen? > Abbrechen"));

    ScenarioSheet single;
    single.message = "Saved.";
    single.buttons = {{"Great", {}}};
    startWithSheet(single);
    controller->dismissModal("com.example.editor", std::nullopt, std::nullopt);
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Great"));
}

TEST_F(ModalWindowsTest, NoSuitableButtonFailsWithTheModalAndPressesNothing) {
    ScenarioSheet choice;
    choice.message = "An item named a.txt already exists.";
    choice.buttons = {{"Replace", {}}, {"Keep Both", {}}};
    startWithSheet(choice);
    auto error = dismissFailure(std::nullopt);
    EXPECT_EQ(error.errorCase(), Case::modalDismissUnavailable);
    ASSERT_NE(error.modal(), nullptr);
    EXPECT_THAT(error.modal()->buttonTitles, ElementsAre("Replace", "Keep Both"));

    // A named button that does not exist is not replaced by the cancel button.
    startWithSheet(saveSheet());
    EXPECT_EQ(dismissFailure(std::string("cancel")).errorCase(), Case::modalDismissUnavailable);
    EXPECT_EQ(dismissFailure(std::string(" Cancel")).errorCase(), Case::modalDismissUnavailable);
    EXPECT_THAT(presses(), IsEmpty());
}

TEST_F(ModalWindowsTest, TheExpectedTitleIsComparedTrimmedAndIgnoringCase) {
    startWithSheet(saveSheet());
    auto error = dismissFailure(std::nullopt, std::string("  Quit now? "));
    EXPECT_EQ(error.errorCase(), Case::modalMismatch);
    EXPECT_EQ(error.errorDescription(), "Modal window does not match Quit now?: Save changes?");
    EXPECT_THAT(presses(), IsEmpty());

    controller->dismissModal("com.example.editor", std::nullopt, std::string("   "));
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Cancel"));

    startWithSheet(saveSheet());
    controller->dismissModal("com.example.editor", std::nullopt, std::string("\n save CHANGES? "));
    EXPECT_THAT(presses(), ElementsAre("press com.example.editor: Doc > AXSheet > Cancel"));
}

TEST_F(ModalWindowsTest, ReturnsTheSheetThatThePressOpened) {
    ScenarioSheet confirm;
    confirm.title = "Are you sure?";
    confirm.buttons = {{"Yes", {}}, {"No", {}}};
    ScenarioSheet first = saveSheet();
    first.buttons[1].effects = {dismissesSheet(), opensSheet(confirm)};
    startWithSheet(first);

    const auto remaining = controller->dismissModal("com.example.editor", std::string("Don't Save"), std::nullopt);
    ASSERT_TRUE(remaining);
    EXPECT_EQ(remaining->title, "Are you sure?");
    EXPECT_THAT(remaining->buttonTitles, ElementsAre("Yes", "No"));
}

TEST_F(ModalWindowsTest, DismissingForAnApplicationThatDoesNotRunTouchesNoOtherDialog) {
    startWithSheet(saveSheet());
    EXPECT_EQ(failure([&] { controller->dismissModal("com.example.notes", std::nullopt, std::nullopt); }),
              Case::applicationNotRunning);
    EXPECT_THAT(presses(), IsEmpty());
    EXPECT_TRUE(controller->modalInfo("com.example.editor"));

    desktop->setAccessibilityTrusted(false);
    EXPECT_EQ(failure([&] { controller->modalInfo(std::nullopt); }), Case::accessibilityMissing);
    EXPECT_EQ(failure([&] { controller->dismissModal(std::nullopt, std::nullopt, std::nullopt); }),
              Case::accessibilityMissing);
}

}  // namespace
}  // namespace zentrabo
