#include "platform/desktop/freedesktop/terminal_emulator.hpp"

#include <algorithm>

#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/freedesktop/exec_line.hpp"

namespace zentrabo::platform {

std::optional<std::vector<std::string>> commandInTerminal(const std::vector<std::string>& command) {
    for (const auto& entry : desktopEntries()) {
        const auto& categories = entry.categories;
        // A terminal that asks for a terminal itself would never start.
        if (entry.terminal || std::find(categories.begin(), categories.end(), "TerminalEmulator") == categories.end()) {
            continue;
        }
        auto arguments = execArguments(entry, {});
        if (!arguments) continue;
        arguments->push_back(entry.terminalExecArgument.value_or("-e"));
        arguments->insert(arguments->end(), command.begin(), command.end());
        return arguments;
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
