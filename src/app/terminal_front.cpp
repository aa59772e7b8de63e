// The line dispatch of the terminal front, its command table, help and quit.
#include "app/terminal_front.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view helpHint = "Type \"help\" for the commands.";

}  // namespace

void TerminalContext::reportMalformed(std::string_view command, std::string_view problem) const {
    std::string line(command);
    line += ": ";
    line += problem;
    line += ". ";
    line += helpHint;
    write(line);
}

bool TerminalContext::takesNoArguments(std::string_view command, std::string_view arguments) const {
    if (arguments.empty()) return true;
    reportMalformed(command, "takes no arguments");
    return false;
}

const std::vector<TerminalCommand>& terminalCommands() {
    static const std::vector<TerminalCommand> commands{
        {"status", {"status"}, runStatus},
        {"pair", {"pair"}, runPair},
        {"cancel", {"cancel"}, runCancel},
        {"devices", {"devices"}, runDevices},
        {"revoke", {"revoke <number>"}, runRevoke},
        {"log", {"log"}, runLog},
        {"help", {"help"}, runHelp},
        {"quit", {"quit"}, runQuit},
    };
    return commands;
}

void runHelp(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("help", arguments)) return;
    context.write("Commands:");
    for (const auto& command : terminalCommands()) {
        for (const auto usage : command.usage) context.write(usage);
    }
}

void runQuit(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("quit", arguments)) return;
    context.write("Quitting.");
    context.quit();
}

TerminalFront::TerminalFront(HalvardineServer& server, LineWriter writeLine, std::function<void()> quit)
    : context_(std::make_shared<TerminalContext>(server, std::move(writeLine), std::move(quit))) {}

TerminalFront::~TerminalFront() = default;

void TerminalFront::handleLine(std::string_view line) {
    // A line typed on a terminal that sends CR LF keeps no CR.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (context_->readNextLine) {
        // Taken out first: the reader may install the next one.
        auto reader = std::exchange(context_->readNextLine, nullptr);
        reader(std::string(line));
        return;
    }
    const auto [name, arguments] = splitFirstWord(line);
    if (name.empty()) return;
    const auto& commands = terminalCommands();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [name = name](const TerminalCommand& entry) { return entry.name == name; });
    if (command == commands.end()) {
        context_->write("Unknown command \"" + echoed(name) + "\". " + std::string(helpHint));
        return;
    }
    command->run(*context_, arguments);
}

}  // namespace zentrabo
