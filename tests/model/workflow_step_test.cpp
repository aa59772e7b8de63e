#include "model/records/workflow_step.hpp"

#include <gtest/gtest.h>

#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::decodeGolden;
using testing::decodes;

constexpr std::string_view kEveryField =
    R"({"id":"s1","kind":"screenStream","title":" Watch ","applicationName":"Notes","bundleIdentifier":"com.example.notes",)"
    R"("path":["File","Export"],"pathMatchModes":["exact","beginsWith"],"pathMatchValues":[null,"Exp"],)"
    R"("urlString":"https://example.com","asksForURL":false,"shortcutName":"Morning","clipboardText":"clip",)"
    R"("asksForClipboard":true,"textInput":"text","asksForTextInput":false,"keyPressKey":"k",)"
    R"("keyPressModifiers":["command","shift"],"folderPath":"~/Downloads","asksForFolderPath":false,)"
    R"("screenshotDisplayID":2,"screenshotDisplayName":"Studio","screenshotCapturesAllDisplays":false,)"
    R"("asksForDisplay":false,"screenStreamMode":"applicationWindow","screenStreamPresentationMode":"pictureInPicture",)"
    R"("screenStreamWindowTrackingMode":"locked","screenStreamOpensInNewWindow":true,)"
    R"("screenStreamStartInteractionMode":"control","screenStreamApplicationWindowSelectionMode":"title",)"
    R"("screenStreamApplicationWindowTitle":" Inbox ","screenStreamApplicationWindowTitleMatchMode":"beginsWith",)"
    R"("screenStreamAutomaticallyFitsWindow":true,"fileTransferSource":"photo","fileTransferFilename":"a.heic",)"
    R"("fileTransferOriginalFilename":"IMG_1.HEIC","fileTransferContentType":"image/heic","fileTransferData":"AAECAw==",)"
    R"("asksForFile":false,"workflowID":"w2","workflowName":"Other","asksForWorkflow":false,"modalButtonTitle":"OK",)"
    R"("modalExpectedTitle":"Alert","targetMacID":"m1","targetMacName":"Studio Mac","delayAfter":1.5})";

MenuWorkflowStep step(std::string kind, std::string title = "") {
    MenuWorkflowStep result;
    result.id = "s";
    result.kind = std::move(kind);
    result.title = std::move(title);
    return result;
}

TEST(WorkflowStep, GoldenLineWithEveryField) {
    const auto full = decodeGolden<MenuWorkflowStep>(kEveryField);
    EXPECT_EQ(full.pathMatchValues, (std::vector<std::optional<std::string>>{std::nullopt, "Exp"}));
    EXPECT_EQ(full.pathMatchModes,
              (std::vector<MenuTitleMatchMode>{MenuTitleMatchMode::exact, MenuTitleMatchMode::beginsWith}));
    EXPECT_EQ(full.fileTransferData, (Data{0, 1, 2, 3}));
    EXPECT_EQ(full.screenStreamPresentationMode, RemoteScreenStreamPresentationMode::pictureInPicture);
    EXPECT_EQ(full.delayAfter, 1.5);
    EXPECT_NE(encodeRecord(full).find(R"("pathMatchValues":[null,"Exp"])"), std::string::npos);
    auto other = full;
    other.delayAfter = 0.25;
    EXPECT_NE(other, full);
}

TEST(WorkflowStep, DelayAfterDefaultsOnlyWhenMissing) {
    constexpr std::string_view required = R"("id":"a","kind":"teleport","title":"","applicationName":"")";
    const auto bare = decodeRecord<MenuWorkflowStep>("{" + std::string(required) + "}");
    EXPECT_EQ(bare.delayAfter, 0.25);
    EXPECT_EQ(bare.displayTitle(), "Run Step");
    EXPECT_NE(encodeRecord(bare).find(R"("delayAfter":0.25)"), std::string::npos);
    EXPECT_EQ(decodeRecord<MenuWorkflowStep>("{" + std::string(required) + R"(,"delayAfter":null})").delayAfter, 0.25);
    EXPECT_EQ(decodeRecord<MenuWorkflowStep>("{" + std::string(required) + R"(,"delayAfter":0})").delayAfter, 0);
    EXPECT_EQ(decodeRecord<MenuWorkflowStep>("{" + std::string(required) + R"(,"delayAfter":-2})").delayAfter, -2);
    EXPECT_FALSE(decodes<MenuWorkflowStep>(R"({"id":"a","kind":"wait","title":""})"));
    EXPECT_FALSE(decodes<MenuWorkflowStep>("{" + std::string(required) + R"(,"screenStreamMode":"teleport"})"));
    EXPECT_FALSE(decodes<MenuWorkflowStep>("{" + std::string(required) + R"(,"fileTransferData":"%%%%"})"));
    EXPECT_FALSE(decodes<MenuWorkflowStep>("{" + std::string(required) + R"(,"pathMatchModes":["exact",null]})"));
}

TEST(WorkflowStep, DisplayTitles) {
    EXPECT_EQ(step("menu", " \n Export \t").displayTitle(), "Export");
    EXPECT_EQ(step("activate", " \n").displayTitle(), "Open App");
    auto activate = step("activate");
    activate.applicationName = " Notes ";
    EXPECT_EQ(activate.displayTitle(), "Open Notes");

    auto menu = step("menuChoice");
    EXPECT_EQ(menu.displayTitle(), "Run Menu Command");
    menu.path = std::vector<std::string>{};
    EXPECT_EQ(menu.displayTitle(), "Run Menu Command");
    menu.path = std::vector<std::string>{""};
    EXPECT_EQ(menu.displayTitle(), "Run Menu Command");
    menu.path = std::vector<std::string>{"File", " Export"};
    EXPECT_EQ(menu.displayTitle(), "File >  Export");

    auto shortcut = step("shortcut");
    EXPECT_EQ(shortcut.displayTitle(), "Run Shortcut");
    shortcut.shortcutName = " ";
    EXPECT_EQ(shortcut.displayTitle(), "Run Shortcut:  ");

    auto window = step("windowScreenshot");
    window.applicationName = "Notes";
    window.bundleIdentifier = "  ";
    EXPECT_EQ(window.displayTitle(), "Capture Window");
    window.bundleIdentifier = "com.example.notes";
    EXPECT_EQ(window.displayTitle(), "Capture Notes");

    auto stream = step("screenStream");
    EXPECT_EQ(stream.displayTitle(), "Start Stream");
    stream.screenStreamOpensInNewWindow = true;
    EXPECT_EQ(stream.displayTitle(), "Open Stream Window");

    auto send = step("sendFile");
    EXPECT_EQ(send.displayTitle(), "Send File");
    send.fileTransferSource = FileTransferSource::photo;
    EXPECT_EQ(send.displayTitle(), "Send Photo");

    auto run = step("runWorkflow");
    run.workflowName = "Morning";
    EXPECT_EQ(run.displayTitle(), "Run Workflow: Morning");
    auto dismiss = step("dismissModal");
    EXPECT_EQ(dismiss.displayTitle(), "Dismiss Modal");
    dismiss.modalButtonTitle = "Don't Save";
    EXPECT_EQ(dismiss.displayTitle(), "Dismiss Modal: Don't Save");
    auto mac = step("macConfig");
    EXPECT_EQ(mac.displayTitle(), "Use Selected Mac");
    mac.targetMacName = "Studio";
    EXPECT_EQ(mac.displayTitle(), "Use Studio");

    const std::pair<std::string_view, std::string_view> fixed[] = {
        {"openURL", "Open URL"},
        {"clipboard", "Set Clipboard"},
        {"pasteText", "Paste Text"},
        {"keyPress", "Press Key"},
        {"openFolder", "Open Folder"},
        {"displayScreenshot", "Capture Monitor"},
        {"getFile", "Get File"},
        {"showFolder", "Show Folder"},
        {"wait", "Wait"},
        {"Wait", "Run Step"},
        {"", "Run Step"},
    };
    for (const auto& [kind, title] : fixed) EXPECT_EQ(step(std::string(kind)).displayTitle(), title) << kind;
}

TEST(WorkflowStep, ShortcutAddressEncodesTheTrimmedName) {
    EXPECT_EQ(MenuWorkflowStep::shortcutURL("A&B c"), "shortcuts://run-shortcut?name=A%26B%20c");
    EXPECT_EQ(MenuWorkflowStep::shortcutURL("\n a+b@c \t"), "shortcuts://run-shortcut?name=a+b@c");
    EXPECT_EQ(MenuWorkflowStep::shortcutURL("Café #1=ok"), "shortcuts://run-shortcut?name=Caf%C3%A9%20%231%3Dok");
    EXPECT_EQ(MenuWorkflowStep::shortcutURL(""), "shortcuts://run-shortcut?name=");
}

TEST(WorkflowStep, StreamLaunchOfAStep) {
    using Mode = RemoteScreenStreamMode;
    auto plain = step("screenStream");
    const auto launch = plain.screenStreamLaunch();
    ASSERT_TRUE(launch);
    const auto& request = launch->request;
    EXPECT_EQ(request.mode, Mode::display);
    EXPECT_FALSE(request.displayID);
    EXPECT_EQ(request.maximumPixelDimension, 0);
    EXPECT_EQ(request.framesPerSecond, 24);
    EXPECT_EQ(request.bitrate, 12'000'000);
    EXPECT_EQ(request.preferredVideoCodec, RemoteScreenStreamVideoCodec::hevc);
    EXPECT_EQ(request.capturesAudio, true);
    EXPECT_EQ(request.preferredAudioCodec, RemoteScreenStreamAudioCodec::pcm16LE);
    EXPECT_EQ(request.audioChannelCount, 2);
    EXPECT_EQ(request.showsCursor, true);
    EXPECT_FALSE(request.windowTrackingMode);
    EXPECT_FALSE(request.applicationName);
    EXPECT_EQ(launch->presentationMode, RemoteScreenStreamPresentationMode::fullScreen);
    EXPECT_FALSE(launch->startInteractionMode);
    EXPECT_FALSE(launch->automaticallyFitsWindow);

    // Two launches of one step differ only in their identifier.
    auto second = *plain.screenStreamLaunch();
    EXPECT_NE(second.id, launch->id);
    second.id = launch->id;
    EXPECT_EQ(second, *launch);

    plain.screenStreamPresentationMode = RemoteScreenStreamPresentationMode::inline_;
    plain.screenshotDisplayID = 7;
    plain.screenStreamAutomaticallyFitsWindow = true;
    EXPECT_EQ(plain.screenStreamLaunch()->presentationMode, RemoteScreenStreamPresentationMode::fullScreen);
    EXPECT_EQ(plain.screenStreamLaunch()->request.displayID, 7u);
    EXPECT_FALSE(plain.screenStreamLaunch()->automaticallyFitsWindow);

    auto front = step("screenStream");
    front.screenStreamMode = Mode::frontmostWindow;
    front.screenshotDisplayID = 7;
    front.applicationName = "";
    const auto frontLaunch = *front.screenStreamLaunch();
    EXPECT_EQ(frontLaunch.request.windowTrackingMode, RemoteScreenStreamWindowTrackingMode::locked);
    EXPECT_FALSE(frontLaunch.request.displayID);
    EXPECT_EQ(frontLaunch.request.showsCursor, false);
    EXPECT_EQ(frontLaunch.request.applicationName, "");

    auto window = step("screenStream");
    window.screenStreamMode = Mode::applicationWindow;
    window.bundleIdentifier = "  ";
    EXPECT_FALSE(window.screenStreamLaunch());
    window.bundleIdentifier = " com.example.notes ";
    window.applicationName = " Notes ";
    window.screenStreamApplicationWindowSelectionMode = RemoteScreenStreamApplicationWindowSelectionMode::title;
    window.screenStreamApplicationWindowTitle = " Inbox ";
    window.screenStreamAutomaticallyFitsWindow = true;
    window.screenStreamStartInteractionMode = RemoteScreenStreamStartInteractionMode::control;
    const auto windowLaunch = *window.screenStreamLaunch();
    EXPECT_EQ(windowLaunch.request.applicationBundleIdentifier, "com.example.notes");
    EXPECT_EQ(windowLaunch.request.applicationName, " Notes ");
    EXPECT_EQ(windowLaunch.request.applicationWindowTitle, "Inbox");
    EXPECT_EQ(windowLaunch.request.applicationWindowTitleMatchMode, MenuTitleMatchMode::exact);
    EXPECT_EQ(windowLaunch.automaticallyFitsWindow, true);
    EXPECT_EQ(windowLaunch.startInteractionMode, RemoteScreenStreamStartInteractionMode::control);

    window.screenStreamApplicationWindowTitle = " ";
    EXPECT_FALSE(window.screenStreamLaunch()->request.applicationWindowTitle);
    EXPECT_FALSE(window.screenStreamLaunch()->request.applicationWindowTitleMatchMode);
    EXPECT_FALSE(step("wait").screenStreamLaunch());
}

TEST(WorkflowStep, RequiredServerVersionOfAStep) {
    using Mode = RemoteScreenStreamMode;
    auto capture = step("windowScreenshot");
    capture.bundleIdentifier = " ";
    EXPECT_EQ(capture.requiredServerProtocolVersion(), 1);
    capture.bundleIdentifier = "com.example.notes";
    EXPECT_EQ(capture.requiredServerProtocolVersion(), 15);
    EXPECT_EQ(step("menu").requiredServerProtocolVersion(), 1);

    auto orphan = step("screenStream");
    orphan.screenStreamMode = Mode::applicationWindow;
    EXPECT_EQ(orphan.requiredServerProtocolVersion(), 1);
    orphan.screenStreamOpensInNewWindow = true;
    EXPECT_EQ(orphan.requiredServerProtocolVersion(), 11);

    // A workflow stream asks for the source size (8), with audio 17.
    auto display = step("screenStream");
    EXPECT_EQ(display.requiredServerProtocolVersion(), 17);
    EXPECT_EQ(display.requiredServerProtocolVersion(false), 8);
    display.screenStreamApplicationWindowSelectionMode = RemoteScreenStreamApplicationWindowSelectionMode::title;
    EXPECT_EQ(display.requiredServerProtocolVersion(false), 11);
    display.screenStreamApplicationWindowSelectionMode.reset();
    display.screenStreamAutomaticallyFitsWindow = true;
    EXPECT_EQ(display.requiredServerProtocolVersion(false), 8);
    display.screenStreamMode = Mode::display;
    EXPECT_EQ(display.requiredServerProtocolVersion(false), 8);
    display.screenStreamMode = Mode::frontmostWindow;
    EXPECT_EQ(display.requiredServerProtocolVersion(false), 10);
    EXPECT_EQ(display.requiredServerProtocolVersion(), 17);

    auto titled = step("screenStream");
    titled.screenStreamMode = Mode::applicationWindow;
    titled.bundleIdentifier = "com.example.notes";
    titled.screenStreamApplicationWindowSelectionMode = RemoteScreenStreamApplicationWindowSelectionMode::title;
    titled.screenStreamApplicationWindowTitle = "Inbox";
    EXPECT_EQ(titled.requiredServerProtocolVersion(false), 11);
}

}  // namespace
}  // namespace zentrabo
