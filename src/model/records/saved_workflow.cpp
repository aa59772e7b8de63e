#include "model/records/saved_workflow.hpp"

#include <algorithm>

namespace zentrabo {
namespace {

constexpr std::string_view kMacConfigKind = "macConfig";

}  // namespace

std::string SavedMenuWorkflow::targetMacName(const std::optional<std::string>& fallback) const {
    // Only the first "macConfig" step counts, even when it names no Mac.
    const auto config = std::find_if(steps.begin(), steps.end(),
                                     [](const MenuWorkflowStep& step) { return step.kind == kMacConfigKind; });
    if (config != steps.end() && config->targetMacName && !config->targetMacName->empty()) {
        return *config->targetMacName;
    }
    if (fallback && !fallback->empty()) return *fallback;
    if (!macName.empty()) return macName;
    return "Mac";
}

std::int64_t SavedMenuWorkflow::progressStepCount() const {
    const auto count = std::count_if(steps.begin(), steps.end(),
                                     [](const MenuWorkflowStep& step) { return step.kind != kMacConfigKind; });
    return std::max<std::int64_t>(count, 1);
}

}  // namespace zentrabo
