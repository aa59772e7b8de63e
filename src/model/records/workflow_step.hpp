#pragma once
// One step of a workflow: a flat record whose kind says which members it
// reads; the others are carried unchanged.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "model/data.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/menu_records.hpp"
#include "model/records/stream_records.hpp"
#include "model/shared_enumerations.hpp"

namespace zentrabo {

struct MenuWorkflowStep {
    // The pause after a step when its JSON gives none.
    static constexpr double defaultDelayAfter = 0.25;

    std::string id;
    std::string kind;
    std::string title;
    std::string applicationName;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::vector<std::string>> path;
    std::optional<std::vector<MenuTitleMatchMode>> pathMatchModes;
    std::optional<std::vector<std::optional<std::string>>> pathMatchValues;
    std::optional<std::string> urlString;
    std::optional<bool> asksForURL;
    std::optional<std::string> shortcutName;
    std::optional<std::string> clipboardText;
    std::optional<bool> asksForClipboard;
    std::optional<std::string> textInput;
    std::optional<bool> asksForTextInput;
    std::optional<std::string> keyPressKey;
    std::optional<std::vector<std::string>> keyPressModifiers;
    std::optional<std::string> folderPath;
    std::optional<bool> asksForFolderPath;
    std::optional<std::uint32_t> screenshotDisplayID;
    std::optional<std::string> screenshotDisplayName;
    std::optional<bool> screenshotCapturesAllDisplays;
    std::optional<bool> asksForDisplay;
    std::optional<RemoteScreenStreamMode> screenStreamMode;
    std::optional<RemoteScreenStreamPresentationMode> screenStreamPresentationMode;
    std::optional<RemoteScreenStreamWindowTrackingMode> screenStreamWindowTrackingMode;
    std::optional<bool> screenStreamOpensInNewWindow;
    std::optional<RemoteScreenStreamStartInteractionMode> screenStreamStartInteractionMode;
    std::optional<RemoteScreenStreamApplicationWindowSelectionMode> screenStreamApplicationWindowSelectionMode;
    std::optional<std::string> screenStreamApplicationWindowTitle;
    std::optional<MenuTitleMatchMode> screenStreamApplicationWindowTitleMatchMode;
    std::optional<bool> screenStreamAutomaticallyFitsWindow;
    std::optional<FileTransferSource> fileTransferSource;
    std::optional<std::string> fileTransferFilename;
    std::optional<std::string> fileTransferOriginalFilename;
    std::optional<std::string> fileTransferContentType;
    std::optional<Data> fileTransferData;
    std::optional<bool> asksForFile;
    std::optional<std::string> workflowID;
    std::optional<std::string> workflowName;
    std::optional<bool> asksForWorkflow;
    std::optional<std::string> modalButtonTitle;
    std::optional<std::string> modalExpectedTitle;
    std::optional<std::string> targetMacID;
    std::optional<std::string> targetMacName;
    double delayAfter = defaultDelayAfter;

    // The title shown in lists and progress: the trimmed title, or one made
    // from the kind and its members when the title is blank.
    std::string displayTitle() const;

    // The address that runs the named shortcut.
    static std::string shortcutURL(std::string_view name);

    // The stream that a "screenStream" step opens, if it can open one.
    std::optional<RemoteScreenStreamLaunch> screenStreamLaunch() const;

    // The lowest server protocol version that can run this step; with
    // capturesAudio false a stream step is judged with its audio off.
    int requiredServerProtocolVersion(bool capturesAudio = true) const;

    static constexpr auto jsonFields() {
        using R = MenuWorkflowStep;
        return std::tuple{
            field("id", &R::id),
            field("kind", &R::kind),
            field("title", &R::title),
            field("applicationName", &R::applicationName),
            field("bundleIdentifier", &R::bundleIdentifier),
            field("path", &R::path),
            field("pathMatchModes", &R::pathMatchModes),
            field("pathMatchValues", &R::pathMatchValues),
            field("urlString", &R::urlString),
            field("asksForURL", &R::asksForURL),
            field("shortcutName", &R::shortcutName),
            field("clipboardText", &R::clipboardText),
            field("asksForClipboard", &R::asksForClipboard),
            field("textInput", &R::textInput),
            field("asksForTextInput", &R::asksForTextInput),
            field("keyPressKey", &R::keyPressKey),
            field("keyPressModifiers", &R::keyPressModifiers),
            field("folderPath", &R::folderPath),
            field("asksForFolderPath", &R::asksForFolderPath),
            field("screenshotDisplayID", &R::screenshotDisplayID),
            field("screenshotDisplayName", &R::screenshotDisplayName),
            field("screenshotCapturesAllDisplays", &R::screenshotCapturesAllDisplays),
            field("asksForDisplay", &R::asksForDisplay),
            field("screenStreamMode", &R::screenStreamMode),
            field("screenStreamPresentationMode", &R::screenStreamPresentationMode),
            field("screenStreamWindowTrackingMode", &R::screenStreamWindowTrackingMode),
            field("screenStreamOpensInNewWindow", &R::screenStreamOpensInNewWindow),
            field("screenStreamStartInteractionMode", &R::screenStreamStartInteractionMode),
            field("screenStreamApplicationWindowSelectionMode", &R::screenStreamApplicationWindowSelectionMode),
            field("screenStreamApplicationWindowTitle", &R::screenStreamApplicationWindowTitle),
            field("screenStreamApplicationWindowTitleMatchMode", &R::screenStreamApplicationWindowTitleMatchMode),
            field("screenStreamAutomaticallyFitsWindow", &R::screenStreamAutomaticallyFitsWindow),
            field("fileTransferSource", &R::fileTransferSource),
            field("fileTransferFilename", &R::fileTransferFilename),
            field("fileTransferOriginalFilename", &R::fileTransferOriginalFilename),
            field("fileTransferContentType", &R::fileTransferContentType),
            field("fileTransferData", &R::fileTransferData),
            field("asksForFile", &R::asksForFile),
            field("workflowID", &R::workflowID),
            field("workflowName", &R::workflowName),
            field("asksForWorkflow", &R::asksForWorkflow),
            field("modalButtonTitle", &R::modalButtonTitle),
            field("modalExpectedTitle", &R::modalExpectedTitle),
            field("targetMacID", &R::targetMacID),
            field("targetMacName", &R::targetMacName),
            field("delayAfter", &R::delayAfter, defaultDelayAfter),
        };
    }
};

}  // namespace zentrabo
