#pragma once
// Running an entry with Terminal=true: its command inside the user's
// terminal emulator, itself an installed entry of the TerminalEmulator
// category.
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

// The argument vector that runs the command in a terminal: the first usable
// TerminalEmulator entry in search order (the user's own before the
// system's), its Exec without targets, then its X-TerminalArgExec option
// ("-e" when it names none), then the command. None when no terminal
// emulator is installed.
std::optional<std::vector<std::string>> commandInTerminal(const std::vector<std::string>& command);

}  // namespace zentrabo::platform
