// Workflows run step by step on the manual clock: delays and their bound,
// failures that end the run, modal windows, screenshots and their bound.
#include <gmock/gmock.h>

#include <filesystem>

#include "key_input_fixture.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "support/file_text.hpp"

namespace zentrabo {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;

MenuWorkflowStep step(std::string kind, double delayAfter = 0) {
    MenuWorkflowStep step;
    step.kind = std::move(kind);
    step.title = "Step " + step.kind;
    step.delayAfter = delayAfter;
    return step;
}

MenuWorkflowStep withBundle(MenuWorkflowStep step, std::string bundleIdentifier) {
    step.bundleIdentifier = std::move(bundleIdentifier);
    return step;
}

class WorkflowRunnerTest : public KeyInputTest {
protected:
    void SetUp() override {
        ScenarioSheet staying;
        staying.message = "Still here";
        staying.buttons = {{"OK", {activatesApplication("com.example.editor")}}};
        ScenarioSheet closing;
        closing.message = "Save changes?";
        closing.buttons = {{"Cancel", {}}};
        DesktopBuilder builder;
        builder.display(1, {0, 0, 800, 600}).display(2, {800, 0, 400, 300});
        builder.application("Mail", "com.example.mail").window("Inbox", {0, 0, 300, 200});
        ScenarioWindow draft;
        draft.title = "Draft";
        draft.frame = {0, 0, 640, 480};
        draft.text = "";
        builder.application("Editor", "com.example.editor")
            .menu("File", {menuItem("New"), menuItem("Close").then(opensSheet(closing)),
                           menuItem("Ask").then(opensSheet(staying))})
            .window(draft);
        builder.frontmost("com.example.editor");
        start(builder);
    }

    WorkflowRunResult run(const std::vector<MenuWorkflowStep>& steps, const WorkflowRunLimits& limits = {}) {
        return controller->runWorkflow(steps, (home.root() / "Received").string(), limits);
    }

    // The case of the run's failure, none when it succeeds.
    std::optional<Case> runFailure(const std::vector<MenuWorkflowStep>& steps, const WorkflowRunLimits& limits = {}) {
        return failure([&] { run(steps, limits); });
    }

    void openSheet(const std::string& item) {
        ASSERT_EQ(desktop->performAction(menuElement("com.example.editor", {"File", item}), "AXPress"),
                  axerror::success);
    }

    std::vector<std::string> opened() {
        std::vector<std::string> urls;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "openURL") urls.push_back(entry.subject);
        }
        return urls;
    }

    static fs::path logFile() { return diagnosticLogPath(); }

    // How often the diagnostic log holds the text.
    std::size_t logCount(std::string_view text) {
        const std::string log = testing::fileText(logFile());
        std::size_t count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    static MenuWorkflowStep clipboard(std::string text, double delayAfter = 0) {
        MenuWorkflowStep clip = step("clipboard", delayAfter);
        clip.clipboardText = std::move(text);
        return clip;
    }
};

TEST_F(WorkflowRunnerTest, DelaysFollowSuccessfulStepsWithinTheRunsBound) {
    struct Row {
        const char* name;
        std::vector<MenuWorkflowStep> steps;
        std::optional<MacMenuError::Case> failure;
        double slept;
        std::optional<std::string> clipboardAfter;  // what the steps left on the pasteboard
    } const rows[] = {
        {"one wait", {step("wait", 2)}, {}, 2, {}},
        {"none or negative", {step("wait", 0), step("macConfig", -5), step("wait", -0.0)}, {}, 0, {}},
        {"exactly the bound", {step("wait", 200), step("macConfig", 399.5), step("wait", 0.5)}, {}, 600, {}},
        {"far past it", {clipboard("one"), step("wait", 1e308), clipboard("two")}, Case::actionFailed, 0, "one"},
        {"the total past it", {step("wait", 300), clipboard("x", 300.5), clipboard("y")}, Case::actionFailed, 300, "x"},
        {"a failed step", {step("wait", 1), step("shortcut", 5), step("wait", 7)}, Case::shortcutNameRequired, 1, {}},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        desktop->clearContents();
        const double before = clock.monotonicNow();
        if (c.failure) {
            EXPECT_EQ(runFailure(c.steps), c.failure);
        } else {
            const auto result = run(c.steps);
            EXPECT_THAT(result.screenshots, IsEmpty());
            EXPECT_THAT(result.transferredFiles, IsEmpty());
        }
        EXPECT_DOUBLE_EQ(clock.monotonicNow() - before, c.slept);
        EXPECT_EQ(desktop->string(), c.clipboardAfter);
    }
}

TEST_F(WorkflowRunnerTest, StepsRefuseWhatTheyCannotCarryOut) {
    MenuWorkflowStep noPath = step("menu");
    noPath.title = "Export as PDF";
    MenuWorkflowStep emptyPath = withBundle(step("menu"), "com.example.editor");
    emptyPath.path = std::vector<std::string>{};
    MenuWorkflowStep blankShortcut = step("shortcut");
    blankShortcut.shortcutName = " \n ";
    MenuWorkflowStep asksForDisplay = step("displayScreenshot");
    asksForDisplay.screenshotDisplayID = 1;
    asksForDisplay.asksForDisplay = true;
    MenuWorkflowStep asksForFile = step("sendFile");
    asksForFile.fileTransferData = Data{1, 2, 3};
    asksForFile.asksForFile = true;
    struct Row {
        MenuWorkflowStep step;
        MacMenuError::Case failure;
        std::string text;
    } const rows[] = {
        {noPath, Case::menuItemNotFound, "Menu item not found: Export as PDF"},
        {emptyPath, Case::actionFailed, "The menu action could not be performed."},
        {blankShortcut, Case::shortcutNameRequired, "A shortcut name is required."},
        {asksForDisplay, Case::screenshotDisplayRequired, "A monitor must be selected before this workflow can run."},
        {asksForFile, Case::fileTransferRequired, "A file or photo must be selected before this workflow can run."},
        {step("Wait"), Case::unsupportedWorkflowStep,
         "Unsupported workflow step: Wait. Update Zentrabo Server on the Mac and try again."},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.step.kind);
        try {
            run({c.step, clipboard("after")});
            ADD_FAILURE() << "ran";
        } catch (const MacMenuError& error) {
            EXPECT_EQ(error.errorCase(), c.failure);
            EXPECT_EQ(error.errorDescription(), c.text);
        }
        EXPECT_EQ(desktop->string(), std::nullopt) << "nothing after the failed step";
    }
    EXPECT_THAT(opened(), IsEmpty());
    EXPECT_FALSE(fs::exists(home.root() / "Received"));

    MenuWorkflowStep shortcut = step("shortcut");
    shortcut.shortcutName = "  Morning Mail ";
    run({shortcut});
    EXPECT_THAT(opened(), ElementsAre("shortcuts://run-shortcut?name=Morning%20Mail"));
}

TEST_F(WorkflowRunnerTest, ModalWindowsBlockInputAndDismissals) {
    // No modal window: dismissing does nothing and the run goes on.
    EXPECT_EQ(runFailure({withBundle(step("dismissModal"), "com.example.editor"), clipboard("went on")}), std::nullopt);
    EXPECT_EQ(desktop->string(), "went on");

    openSheet("Close");
    MenuWorkflowStep paste = withBundle(step("pasteText"), "com.example.editor");
    paste.textInput = "typed";
    MenuWorkflowStep key = withBundle(step("keyPress"), "com.example.editor");
    key.keyPressKey = "a";
    desktop->clearContents();
    for (const auto& blocked : {paste, key}) {
        SCOPED_TRACE(blocked.kind);
        EXPECT_EQ(runFailure({blocked}), Case::inputBlocked);
    }
    EXPECT_THAT(postedInput(), IsEmpty());
    EXPECT_EQ(fieldText(), "");
    EXPECT_EQ(desktop->string(), std::nullopt) << "nothing was put on the pasteboard to paste";
    // The dismissal presses Cancel; then the paste goes through.
    EXPECT_EQ(runFailure({withBundle(step("dismissModal"), "com.example.editor"), paste}), std::nullopt);
    EXPECT_EQ(fieldText(), "typed");

    // A dialog that stays after its button is pressed fails the step.
    openSheet("Ask");
    try {
        run({withBundle(step("dismissModal"), "com.example.editor")});
        ADD_FAILURE() << "ran";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::inputBlocked);
        EXPECT_EQ(error.errorDescription(), "Input is blocked by a modal window: Still here");
    }
}

TEST_F(WorkflowRunnerTest, ScreenshotsComeBackInStepOrderWithinTheirBound) {
    MenuWorkflowStep second = step("displayScreenshot");
    second.screenshotDisplayID = 2;
    MenuWorkflowStep main = step("displayScreenshot");
    MenuWorkflowStep front = withBundle(step("windowScreenshot"), "  ");
    const auto result = run({second, main, front});
    ASSERT_EQ(result.screenshots.size(), 3u);
    const auto size = [](const RemoteScreenshot& shot) {
        const RgbaImage image = decodeJpeg(shot.data);
        return std::pair(image.width, image.height);
    };
    EXPECT_EQ(size(result.screenshots[0]), std::pair(400u, 300u));
    EXPECT_EQ(size(result.screenshots[1]), std::pair(800u, 600u));
    EXPECT_EQ(size(result.screenshots[2]), std::pair(640u, 480u)) << "the front window, the bundle being blank";
    EXPECT_EQ(result.screenshots[2].title, "Editor Window");

    // The step that would take the pictures past their bound fails.
    const std::size_t firstBytes = result.screenshots[0].data.size();
    const WorkflowRunLimits lowered{600, firstBytes + result.screenshots[1].data.size() - 1};
    EXPECT_EQ(runFailure({second, main}, lowered), Case::screenshotCaptureFailed);
    EXPECT_EQ(runFailure({second, second}, {600, 2 * firstBytes}), std::nullopt);
}

TEST_F(WorkflowRunnerTest, ARunCarriesOutEachKindAndStopsAtTheFirstFailure) {
    MenuWorkflowStep activate = withBundle(step("activate"), "com.example.mail");
    MenuWorkflowStep menu = withBundle(step("menu"), "com.example.editor");
    menu.path = std::vector<std::string>{"File", "New"};
    MenuWorkflowStep paste = withBundle(step("pasteText"), "com.example.editor");
    paste.textInput = "Hello";
    MenuWorkflowStep key = step("keyPress");
    key.keyPressKey = "return";
    MenuWorkflowStep file = step("sendFile");
    file.title = "Scan\n\u202E";
    file.fileTransferFilename = "scan.pdf";
    file.fileTransferData = Data{'%', 'P', 'D', 'F'};
    MenuWorkflowStep url = step("openURL");
    url.urlString = "example.com/a";

    fs::create_directories(logFile().parent_path());
    try {
        run({activate, menu, clipboard("copied"), paste, key, file, url, step("runWorkflow"), clipboard("late")});
        ADD_FAILURE() << "ran";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::unsupportedWorkflowStep);
        ASSERT_TRUE(error.text());
        EXPECT_EQ(*error.text(), "runWorkflow");
    }
    EXPECT_EQ(running("com.example.editor")->isActive(), true) << "the menu press brought the editor back";
    EXPECT_THAT(journalTexts(),
                ::testing::Contains(HasSubstr("press com.example.editor: AXMenuBar > File > AXMenu > New")));
    EXPECT_EQ(fieldText(), "Hello");
    EXPECT_EQ(desktop->string(), "copied") << "the paste gave the clipboard back; nothing ran after the failure";
    EXPECT_THAT(postedInput(), ::testing::Contains("down 36"));
    EXPECT_EQ(testing::fileText(home.root() / "Received/scan.pdf"), "%PDF") << "the saved file stays";
    EXPECT_THAT(opened(), ElementsAre("https://example.com/a"));

    // Every step is logged, the peer's text escaped.
    EXPECT_EQ(logCount("Executing workflow step: kind=sendFile, title=Scan\\n\\u{202E}\n"), 1u);
    EXPECT_EQ(logCount("Executing workflow step: kind=runWorkflow, title=Step runWorkflow\n"), 1u);
    EXPECT_EQ(logCount("Executing workflow step: kind=clipboard"), 1u);

    const auto saved = run({file});
    ASSERT_EQ(saved.transferredFiles.size(), 1u);
    EXPECT_EQ(saved.transferredFiles[0].filename, "scan 2.pdf");
    EXPECT_EQ(saved.transferredFiles[0].title, file.title);
}

}  // namespace
}  // namespace zentrabo
