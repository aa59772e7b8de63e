#include "model/crash_handlers.hpp"
#include "model/diagnostic_log.hpp"
#include "model/diagnostic_log_state.hpp"

#include <fcntl.h>

#include <filesystem>
#include <system_error>

namespace zentrabo {

void installDiagnostics() {
    {
        std::lock_guard lock(diagnostics::logLock());
        if (diagnostics::installed()) return;
        diagnostics::installed() = true;
    }

    const std::string path = diagnosticLogPath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    // Without its folder the log has no file to hold a crash report; there is
    // nowhere to say so either, and no second attempt.
    if (error) return;

    {
        std::lock_guard lock(diagnostics::logLock());
        diagnostics::logDescriptor().store(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    }
    ZENTRABO_LOG("Diagnostics installed. Log file: " + path);
    diagnostics::installCrashHandlers();
}

}  // namespace zentrabo
