#pragma once
// The last words of a dying process, written to the diagnostic log.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo {

// Logs "Uncaught exception: <name>", "Reason: <reason or unknown>",
// "Call stack:" and the symbols, one per line, as one event.
void handleUncaughtException(std::string_view name, const std::optional<std::string>& reason,
                             const std::vector<std::string>& callStackSymbols);

// Writes "\nZentrabo terminated by signal <n>\n" through the log descriptor,
// restores the default action and raises the signal again.
// Async-signal-safe: no allocation, no lock.
extern "C" void handleFatalSignal(int signalNumber);

namespace diagnostics {

// Installed by installDiagnostics().
void installCrashHandlers();

}  // namespace diagnostics

}  // namespace zentrabo
