#pragma once
// What a workflow run leaves beside its request and reply: live status
// texts, widget entries and the details of a failed run.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "platform/dispatch/date.hpp"
#include "model/halvardine_error_code.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/application_records.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo {

enum class WorkflowLiveActivityStatus { running, succeeded, failed };
template <>
struct platform::StringEnumTraits<WorkflowLiveActivityStatus> : platform::RawValues<"running", "succeeded", "failed"> {
};

// The texts of a live workflow run.
struct WorkflowLiveActivitySession {
    // "Step N of M" with M the step count (at least 1) and N the zero-based
    // index plus one, kept within 1 and M.
    static std::string progressText(std::int64_t stepIndex, std::int64_t totalSteps);
    static std::string_view statusText(WorkflowLiveActivityStatus status);
};

// A failed run, kept for later display.
struct PendingWorkflowRunFailure {
    std::string workflowID;
    std::string workflowTitle;
    std::string macID;
    std::string macName;
    std::string message;
    std::optional<HalvardineErrorCode> errorCode;
    std::optional<RemoteModalInfo> modalInfo;
    std::optional<RemoteApplicationRecovery> applicationRecovery;
    platform::Date createdAt;

    static constexpr auto jsonFields() {
        using R = PendingWorkflowRunFailure;
        return std::tuple{field("workflowID", &R::workflowID), field("workflowTitle", &R::workflowTitle),
                          field("macID", &R::macID),           field("macName", &R::macName),
                          field("message", &R::message),       field("errorCode", &R::errorCode),
                          field("modalInfo", &R::modalInfo),   field("applicationRecovery", &R::applicationRecovery),
                          field("createdAt", &R::createdAt)};
    }
};

// A workflow run as a widget shows it.
struct WorkflowWidgetActivity {
    std::string workflowID;
    WorkflowWidgetActivityState state = WorkflowWidgetActivityState::running;
    std::string message;
    platform::Date createdAt;

    static constexpr auto jsonFields() {
        using R = WorkflowWidgetActivity;
        return std::tuple{field("workflowID", &R::workflowID), field("state", &R::state), field("message", &R::message),
                          field("createdAt", &R::createdAt)};
    }
};

}  // namespace zentrabo
