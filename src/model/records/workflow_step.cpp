#include "model/records/workflow_step.hpp"

#include "platform/text/percent_encoding.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {
namespace {

// "prefix" followed by the value when it is present and not empty, else the
// fallback; the value is not trimmed.
std::string titleWithValue(std::string_view prefix, const std::optional<std::string>& value,
                           std::string_view fallback) {
    if (value && !value->empty()) return std::string(prefix) + *value;
    return std::string(fallback);
}

std::string joinedPath(const std::optional<std::vector<std::string>>& path) {
    std::string joined;
    if (!path) return joined;
    for (std::size_t i = 0; i < path->size(); ++i) {
        if (i > 0) joined += " > ";
        joined += (*path)[i];
    }
    return joined;
}

struct FixedTitle {
    std::string_view kind;
    std::string_view title;
};

// Kinds whose title never depends on their members.
constexpr FixedTitle kFixedTitles[] = {
    {"openURL", "Open URL"},   {"clipboard", "Set Clipboard"}, {"pasteText", "Paste Text"},
    {"keyPress", "Press Key"}, {"openFolder", "Open Folder"},  {"displayScreenshot", "Capture Monitor"},
    {"getFile", "Get File"},   {"showFolder", "Show Folder"},  {"wait", "Wait"},
};

}  // namespace

std::string MenuWorkflowStep::displayTitle() const {
    std::string trimmedTitle = platform::trimWhitespaceAndNewlines(title);
    if (!trimmedTitle.empty()) return trimmedTitle;

    if (kind == "activate") {
        const std::string name = platform::trimWhitespaceAndNewlines(applicationName);
        return name.empty() ? "Open App" : "Open " + name;
    }
    if (kind == "menu" || kind == "menuChoice") {
        std::string joined = joinedPath(path);
        return joined.empty() ? "Run Menu Command" : joined;
    }
    if (kind == "shortcut") return titleWithValue("Run Shortcut: ", shortcutName, "Run Shortcut");
    if (kind == "windowScreenshot") {
        const std::string name = platform::trimWhitespaceAndNewlines(applicationName);
        const bool hasBundle = bundleIdentifier && !platform::isBlank(*bundleIdentifier);
        return !name.empty() && hasBundle ? "Capture " + name : "Capture Window";
    }
    if (kind == "screenStream") {
        return screenStreamOpensInNewWindow.value_or(false) ? "Open Stream Window" : "Start Stream";
    }
    if (kind == "sendFile") return fileTransferSource == FileTransferSource::photo ? "Send Photo" : "Send File";
    if (kind == "runWorkflow") return titleWithValue("Run Workflow: ", workflowName, "Run Workflow");
    if (kind == "dismissModal") return titleWithValue("Dismiss Modal: ", modalButtonTitle, "Dismiss Modal");
    if (kind == "macConfig") return titleWithValue("Use ", targetMacName, "Use Selected Mac");
    for (const auto& fixed : kFixedTitles) {
        if (kind == fixed.kind) return std::string(fixed.title);
    }
    return "Run Step";
}

std::string MenuWorkflowStep::shortcutURL(std::string_view name) {
    return "shortcuts://run-shortcut?name=" +
           platform::percentEncodeQueryValue(platform::trimWhitespaceAndNewlines(name));
}

}  // namespace zentrabo
