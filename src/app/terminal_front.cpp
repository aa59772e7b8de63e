// The line dispatch of the terminal front, its command table, help and quit.
#include "app/terminal_front.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view helpHint = "Type \"help\" for the commands.";

}  // namespace

TerminalContext::TerminalContext(HalvardineServer& server, TerminalFront::LineWriter writeLine,
                                 std::function<void()> quit)
    : server(server),
      listener(server.listener()),
      pairing(server.pairing()),
      authorization(server.authorization()),
      extraAuthorization(server.extraAuthorization()),
      relay(server.relay()),
      permissions(server.permissions()),
      receiveFolder(server.receiveFolder()),
      writeLine(std::move(writeLine)),
      quit(std::move(quit)) {}

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
        {"relay",
         {"relay on|off", "relay host <host>", "relay client-port <1-65535>", "relay control-port <1-65535>"},
         runRelay},
        {"password", {"password set <new>", "password change", "password remove <current>"}, runPassword},
        {"unlock", {"unlock <current>"}, runUnlock},
        {"scopes", {"scopes local|relay <stream,files,workflows>|none"}, runScopes},
        {"duration", {"duration background|short|standard|long"}, runDuration},
        {"folder", {"folder /<path>|~/<path>", "folder default", "folder open"}, runFolder},
        {"login-item", {"login-item"}, runLoginItem},
        {"request", {"request accessibility|screen-recording"}, runRequest},
        {"restart", {"restart"}, runRestart},
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
    // Blanks typed after a command are not part of its last argument.
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
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
