#pragma once
// The one diagnostic log of the process: plain text, one event per line,
// appended to ZentraboMac.log in the program's XDG state folder from any
// thread, and bounded: past its limit the file is renamed ZentraboMac.log.1
// (one older file is kept) and a new one begins.
#include <cstdint>
#include <string>
#include <string_view>

namespace zentrabo {

// "<folder>/<file>.cpp" of a source path: its last two components.
constexpr const char* sourceFileIdentifier(const char* path) {
    const char* last = nullptr;
    const char* beforeLast = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/') {
            beforeLast = last;
            last = p;
        }
    }
    return beforeLast != nullptr ? beforeLast + 1 : (last != nullptr ? last + 1 : path);
}

// Appends "[<UTC time>] <file>:<line> <message>" and a line feed. Never fails
// the caller: a line that cannot be written is lost.
void diagnosticLog(std::string_view message, std::string_view file, std::uint32_t line) noexcept;

// $XDG_STATE_HOME/zentrabo/ZentraboMac.log (default ~/.local/state), from
// the environment at each call.
std::string diagnosticLogPath();

// The size past which the log starts a new file.
inline constexpr std::uint64_t defaultDiagnosticLogByteLimit = 10 * 1024 * 1024;
void setDiagnosticLogByteLimit(std::uint64_t bytes);

// Creates the log folder, opens the descriptor that crash handlers write
// through, and installs the uncaught-exception and fatal-signal handlers.
// Only the first call does anything.
void installDiagnostics();

}  // namespace zentrabo

#define ZENTRABO_LOG(message) ::zentrabo::diagnosticLog((message), ::zentrabo::sourceFileIdentifier(__FILE__), __LINE__)
