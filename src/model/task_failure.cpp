#include "model/task_failure.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"

namespace zentrabo {

std::string failureText(const std::exception_ptr& failure) {
    if (!failure) return {};
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown failure";
    }
}

LogTaskFailure::LogTaskFailure(std::string prefix, std::source_location where)
    : prefix_(std::move(prefix)), where_(where) {}

void LogTaskFailure::operator()(const std::exception_ptr& failure) const {
    if (!failure) return;
    diagnosticLog(prefix_ + failureText(failure), sourceFileIdentifier(where_.file_name()), where_.line());
}

}  // namespace zentrabo
