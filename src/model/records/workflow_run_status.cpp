#include "model/records/workflow_run_status.hpp"

#include <algorithm>

namespace zentrabo {

std::string WorkflowLiveActivitySession::progressText(std::int64_t stepIndex, std::int64_t totalSteps) {
    const std::int64_t total = std::max<std::int64_t>(totalSteps, 1);
    // Clamped before adding one, so the largest index cannot overflow.
    const std::int64_t current = std::clamp<std::int64_t>(stepIndex, 0, total - 1) + 1;
    return "Step " + std::to_string(current) + " of " + std::to_string(total);
}

std::string_view WorkflowLiveActivitySession::statusText(WorkflowLiveActivityStatus status) {
    switch (status) {
    case WorkflowLiveActivityStatus::running:
        return "Running...";
    case WorkflowLiveActivityStatus::succeeded:
        return "Done";
    case WorkflowLiveActivityStatus::failed:
        return "Failed";
    }
    return "Failed";
}

}  // namespace zentrabo
