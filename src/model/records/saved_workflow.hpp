#pragma once
// Workflows as the device stores them: bound to one Mac, filed in groups,
// exported one at a time.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/dispatch/date.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/workflow_step.hpp"

namespace zentrabo {

struct SavedMenuWorkflow {
    static constexpr std::string_view defaultSymbolName = "square.stack.3d.up.fill";
    static constexpr std::string_view defaultColorHex = "#AF52DE";

    std::string id;
    std::string title;
    std::string symbolName{defaultSymbolName};
    std::string colorHex{defaultColorHex};
    std::optional<std::string> folderName;
    std::optional<std::int64_t> folderSortIndex;
    std::string macID;
    std::string macName;
    std::optional<std::string> serviceName;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    std::string token;
    std::vector<MenuWorkflowStep> steps;
    platform::Date createdAt;
    platform::Date updatedAt;
    std::optional<platform::Date> lastRunAt;

    // The Mac the workflow addresses: the name of its first "macConfig" step,
    // else the fallback, else its Mac's name, else "Mac".
    std::string targetMacName(const std::optional<std::string>& fallback) const;

    // Its steps other than "macConfig" ones, but at least 1.
    std::int64_t progressStepCount() const;

    static constexpr auto jsonFields() {
        using R = SavedMenuWorkflow;
        return std::tuple{
            field("id", &R::id),
            field("title", &R::title),
            field("symbolName", &R::symbolName, defaultSymbolName),
            field("colorHex", &R::colorHex, defaultColorHex),
            field("folderName", &R::folderName),
            field("folderSortIndex", &R::folderSortIndex),
            field("macID", &R::macID),
            field("macName", &R::macName),
            field("serviceName", &R::serviceName),
            field("host", &R::host),
            field("port", &R::port),
            field("token", &R::token),
            field("steps", &R::steps),
            field("createdAt", &R::createdAt),
            field("updatedAt", &R::updatedAt, &R::createdAt),
            field("lastRunAt", &R::lastRunAt),
        };
    }
};

struct SavedWorkflowGroup {
    std::string id;
    std::string name;
    std::int64_t sortIndex = 0;
    platform::Date createdAt;
    platform::Date updatedAt;

    static constexpr auto jsonFields() {
        using R = SavedWorkflowGroup;
        return std::tuple{field("id", &R::id), field("name", &R::name), field("sortIndex", &R::sortIndex),
                          field("createdAt", &R::createdAt), field("updatedAt", &R::updatedAt)};
    }
};

// The content of an exported workflow file. Any format version is read.
struct WorkflowExportFile {
    static constexpr std::int64_t currentFormatVersion = 1;

    std::int64_t formatVersion = currentFormatVersion;
    platform::Date exportedAt;
    SavedMenuWorkflow workflow;

    static constexpr auto jsonFields() {
        using R = WorkflowExportFile;
        return std::tuple{field("formatVersion", &R::formatVersion), field("exportedAt", &R::exportedAt),
                          field("workflow", &R::workflow)};
    }
};

}  // namespace zentrabo
