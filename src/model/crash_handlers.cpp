#include "model/crash_handlers.hpp"

#include "model/diagnostic_log.hpp"
#include "model/diagnostic_log_state.hpp"

#include <cxxabi.h>
#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

namespace zentrabo {

namespace {

// Fatal signals, in the order they are installed.
constexpr int fatalSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGBUS, SIGTRAP};

// Lets the handler run even when the main thread's stack overflowed.
constexpr std::size_t alternateStackSize = 64 * 1024;

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                         &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

std::vector<std::string> callStackSymbols() {
    void* frames[128];
    const int count = backtrace(frames, 128);
    std::vector<std::string> symbols;
    std::unique_ptr<char*, decltype(&std::free)> texts(backtrace_symbols(frames, count), &std::free);
    if (texts) symbols.assign(texts.get(), texts.get() + count);
    return symbols;
}

[[noreturn]] void terminateWithLog() {
    std::string name = "unknown";
    std::optional<std::string> reason;
    if (const std::type_info* type = abi::__cxa_current_exception_type()) name = demangled(type->name());
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            reason = error.what();
        } catch (...) {
        }
    }
    handleUncaughtException(name, reason, callStackSymbols());
    std::abort();
}

void installAlternateStackIfNone() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
    static auto* memory = new char[alternateStackSize];
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = alternateStackSize;
    sigaltstack(&stack, nullptr);
}

}  // namespace

void handleUncaughtException(std::string_view name, const std::optional<std::string>& reason,
                             const std::vector<std::string>& callStackSymbols) {
    std::string text = "Uncaught exception: ";
    text += name;
    text += "\nReason: ";
    text += reason.value_or("unknown");
    text += "\nCall stack:\n";
    for (std::size_t i = 0; i < callStackSymbols.size(); ++i) {
        if (i > 0) text += '\n';
        text += callStackSymbols[i];
    }
    ZENTRABO_LOG(text);
}

extern "C" void handleFatalSignal(int signalNumber) {
    const int savedErrno = errno;
    constexpr char prefix[] = "\nZentrabo terminated by signal ";
    char text[sizeof prefix + 16];
    std::size_t length = sizeof prefix - 1;
    for (std::size_t i = 0; i < length; ++i) text[i] = prefix[i];

    char digits[12];
    std::size_t digitCount = 0;
    unsigned value = signalNumber < 0 ? 0u : static_cast<unsigned>(signalNumber);
    do {
        digits[digitCount++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (digitCount > 0) text[length++] = digits[--digitCount];
    text[length++] = '\n';

    const int descriptor = diagnostics::logDescriptor().load();
    if (descriptor >= 0) diagnostics::writeAll(descriptor, text, length);

    errno = savedErrno;
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

namespace diagnostics {

void installCrashHandlers() {
    std::set_terminate(terminateWithLog);
    installAlternateStackIfNone();
    struct sigaction action {};
    action.sa_handler = handleFatalSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : fatalSignals) sigaction(signalNumber, &action, nullptr);
}

}  // namespace diagnostics

}  // namespace zentrabo
