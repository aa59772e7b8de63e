// A paired phone running workflows on the binary: a desktop of two displays
// and an editor with a menu and a text field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/binary_harness.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "support/file_text.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* editorID = "com.example.editor";
constexpr const char* mailID = "com.example.mail";

constexpr const char* scenario = R"({
  "displays": [
    {"id": 1, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}},
    {"id": 2, "bounds": {"x": 800, "y": 0, "width": 400, "height": 300}}
  ],
  "applications": [
    {"name": "Editor", "bundleIdentifier": "com.example.editor",
     "menus": [{"title": "Edit", "items": [{"title": "Select All", "shortcut": "cmd+A"}]}],
     "windows": [{"title": "Draft", "frame": {"x": 0, "y": 0, "width": 640, "height": 480}, "text": ""}]},
    {"name": "Mail", "bundleIdentifier": "com.example.mail",
     "windows": [{"title": "Inbox", "frame": {"x": 0, "y": 0, "width": 300, "height": 200}}]}
  ],
  "frontmost": "com.example.editor"
})";

MenuWorkflowStep step(std::string kind) {
    MenuWorkflowStep step;
    step.id = "step-" + kind;
    step.kind = std::move(kind);
    step.title = "Step " + step.kind;
    step.delayAfter = 0;
    return step;
}

MenuWorkflowStep fileStep(std::string name, const std::string& bytes) {
    MenuWorkflowStep file = step("sendFile");
    file.fileTransferFilename = std::move(name);
    file.fileTransferData = Data(bytes.begin(), bytes.end());
    return file;
}

class BinaryWorkflowTest : public BinaryServerTest {
protected:
    void SetUp() override {
        const fs::path scenarioFile = home.path() / ".config/zentrabo/virtual-desktop.json";
        fs::create_directories(scenarioFile.parent_path());
        std::ofstream(scenarioFile) << scenario;
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    HalvardineResponse workflow(std::string id, std::optional<std::vector<MenuWorkflowStep>> steps,
                                std::optional<std::string> token = {}) {
        auto request = deviceRequest(std::move(id), "workflow");
        request.workflowSteps = std::move(steps);
        request.extraAuthorizationToken = std::move(token);
        return send(phone, request);
    }

    fs::path receiveFolder() const { return home.path() / "Downloads/Zentrabo"; }

    TestDevice phone;
};

TEST_F(BinaryWorkflowTest, OneWorkflowDrivesTheDesktopAndBringsBackPicturesAndFiles) {
    MenuWorkflowStep activate = step("activate");
    activate.bundleIdentifier = mailID;
    MenuWorkflowStep menu = step("menu");
    menu.bundleIdentifier = editorID;
    menu.path = std::vector<std::string>{"Edit", "Select All"};
    MenuWorkflowStep clipboard = step("clipboard");
    clipboard.clipboardText = "from the phone";
    MenuWorkflowStep paste = step("pasteText");
    paste.bundleIdentifier = editorID;
    paste.textInput = "Dear Ann,";
    MenuWorkflowStep key = step("keyPress");
    key.keyPressKey = "return";
    MenuWorkflowStep displays = step("displayScreenshot");
    displays.screenshotCapturesAllDisplays = true;
    // The front window: after Mail was activated, only the menu press
    // brings the editor forward again.
    MenuWorkflowStep window = step("windowScreenshot");
    std::string bytes = "%PDF-1.7\n";
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(i * 7);
    MenuWorkflowStep wait = step("wait");
    wait.delayAfter = 0.05;

    const auto reply = workflow("W-1", std::vector{activate, menu, clipboard, paste, key, displays, window,
                                                   fileStep("Quarterly report.pdf", bytes), wait});
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    ASSERT_TRUE(reply.screenshots);
    ASSERT_EQ(reply.screenshots->size(), 2u);
    const auto all = platform::decodeJpeg((*reply.screenshots)[0].data);
    EXPECT_EQ(std::pair(all.width, all.height), std::pair(1200u, 600u)) << "both displays side by side";
    const auto draft = platform::decodeJpeg((*reply.screenshots)[1].data);
    EXPECT_EQ(std::pair(draft.width, draft.height), std::pair(640u, 480u)) << "the editor's draft, not Mail's inbox";
    ASSERT_TRUE(reply.transferredFiles);
    ASSERT_EQ(reply.transferredFiles->size(), 1u);
    const RemoteTransferredFile& saved = reply.transferredFiles->front();
    EXPECT_EQ(saved.filename, "Quarterly report.pdf");
    EXPECT_EQ(saved.path, (receiveFolder() / "Quarterly report.pdf").string());
    EXPECT_EQ(fileText(saved.path), bytes);

    // The press left the editor in front.
    const auto menuReply = send(phone, deviceRequest("W-2", "menu"));
    ASSERT_TRUE(menuReply.snapshot) << menuReply.error.value_or("");
    EXPECT_EQ(menuReply.snapshot->application.bundleIdentifier, editorID);

    // A run without pictures or files answers without the lists.
    const auto quiet = workflow("W-3", std::vector{wait});
    EXPECT_TRUE(quiet.ok) << quiet.error.value_or("");
    EXPECT_FALSE(quiet.screenshots);
    EXPECT_FALSE(quiet.transferredFiles);
}

TEST_F(BinaryWorkflowTest, AFailedStepEndsTheRunAndKeepsWhatWasSaved) {
    MenuWorkflowStep menu = step("menu");
    menu.title = "Export";
    const auto failed = workflow("F-1", std::vector{fileStep("kept.txt", "kept"), menu, fileStep("never.txt", "no")});
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "Menu item not found: Export");
    EXPECT_EQ(failed.errorCode, HalvardineErrorCode::menuItemNotFound);
    EXPECT_FALSE(failed.transferredFiles);
    EXPECT_EQ(fileText(receiveFolder() / "kept.txt"), "kept");
    EXPECT_FALSE(fs::exists(receiveFolder() / "never.txt"));

    const auto unknown = workflow("F-2", std::vector{step("screenStream")});
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.error,
              "Unsupported workflow step: screenStream. Update Zentrabo Server on the Mac and try again.");
    EXPECT_EQ(unknown.errorCode, HalvardineErrorCode::actionFailed);

    MenuWorkflowStep intoSettings = fileStep("planted", "x");
    intoSettings.folderPath = (home.path() / ".local/share/zentrabo").string();
    const auto refused = workflow("F-3", std::vector{intoSettings});
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::fileTransferDestinationUnavailable);
    EXPECT_FALSE(fs::exists(home.path() / ".local/share/zentrabo/planted"));
}

TEST_F(BinaryWorkflowTest, ProtectedWorkflowsNeedASessionBeforeTheirStepsAreRead) {
    answersCommand("password set secret", "Extra authorization password set.");
    answersCommand("unlock secret", "Extra authorization settings unlocked.");
    answersCommand("scopes local workflows", "Protected on local connections: workflows");
    const std::vector<MenuWorkflowStep> steps = {fileStep("guarded.txt", "guarded")};
    for (const auto& [id, candidate] :
         {std::pair("P-1", std::optional(steps)), std::pair("P-2", std::optional(std::vector<MenuWorkflowStep>{})),
          std::pair("P-3", std::optional<std::vector<MenuWorkflowStep>>())}) {
        SCOPED_TRACE(id);
        const auto refused = workflow(id, candidate);
        EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    }
    EXPECT_FALSE(fs::exists(receiveFolder() / "guarded.txt"));

    auto authorize = deviceRequest("P-4", "authorizeExtra");
    authorize.extraAuthorizationScope = HalvardineExtraAuthorizationScope::workflows;
    authorize.extraAuthorizationPassword = "secret";
    const auto granted = send(phone, authorize);
    ASSERT_TRUE(granted.extraAuthorizationToken) << granted.error.value_or("");
    for (const auto& [id, empty] : {std::pair("P-5", std::optional(std::vector<MenuWorkflowStep>{})),
                                    std::pair("P-6", std::optional<std::vector<MenuWorkflowStep>>())}) {
        SCOPED_TRACE(id);
        const auto refused = workflow(id, empty, granted.extraAuthorizationToken);
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.error, "No workflow steps were provided.");
        EXPECT_EQ(refused.errorCode, std::nullopt);
    }
    const auto ran = workflow("P-7", steps, granted.extraAuthorizationToken);
    EXPECT_TRUE(ran.ok) << ran.error.value_or("");
    EXPECT_EQ(fileText(receiveFolder() / "guarded.txt"), "guarded");
}

}  // namespace
}  // namespace zentrabo::testing
