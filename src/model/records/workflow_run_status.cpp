#include "model/records/workflow_run_status.hpp"

#include <algorithm>

#include "platform/text/case_table.hpp"

namespace zentrabo {

std::string WorkflowLiveActivitySession::progressText(std::int64_t stepIndex, std::int64_t totalSteps) {
    const std::int64_t total = std::max<std::int64_t>(totalSteps, 1);
    // Clamped before adding one, so the largest index cannot overflow.
    const std::int64_t current = std::clamp<std::int64_t>(stepIndex, 0, total - 1) + 1;
    return "Step " + std::to_string(current) + " of " + std::to_string(total);
}

std::string_view WorkflowLiveActivitySession::statusText(WorkflowLiveActivityStatus status) {
    static constexpr auto texts = platform::caseTable<WorkflowLiveActivityStatus, std::string_view>({
        {WorkflowLiveActivityStatus::running, "Running..."},
        {WorkflowLiveActivityStatus::succeeded, "Done"},
        {WorkflowLiveActivityStatus::failed, "Failed"},
    });
    return texts.entryOr(status, "Failed");
}

}  // namespace zentrabo
