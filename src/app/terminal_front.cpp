// The line dispatch of the terminal front, its command table, help and quit.
#include "app/terminal_front.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "app/terminal_events.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view helpHint = "Type \"help\" for the commands.";

// Runs one line as a command, or hands it to the reader of the next line.
void dispatchLine(TerminalContext& context, std::string_view line) {
    // A line typed on a terminal that sends CR LF keeps no CR.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (context.readNextLine) {
        // Taken out first: the reader may install the next one.
        auto reader = std::exchange(context.readNextLine, nullptr);
        reader(std::string(line));
        return;
    }
    // Blanks typed after a command are not part of its last argument.
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    const auto [name, arguments] = splitFirstWord(line);
    if (name.empty()) return;
    const auto& commands = terminalCommands();
    const auto command = std::find_if(commands.begin(), commands.end(), [&context, name = name](const auto& entry) {
        return entry.name == name && context.offers(entry);
    });
    if (command == commands.end()) {
        context.write("Unknown command \"" + echoed(name) + "\". " + std::string(helpHint));
        return;
    }
    command->run(context, arguments);
}

}  // namespace

TerminalContext::TerminalContext(HalvardineServer& server, std::string desktop, TerminalFront::LineWriter writeLine,
                                 std::function<void()> quit, std::function<void()> detach)
    : server(server),
      listener(server.listener()),
      pairing(server.pairing()),
      authorization(server.authorization()),
      extraAuthorization(server.extraAuthorization()),
      relay(server.relay()),
      permissions(server.permissions()),
      receiveFolder(server.receiveFolder()),
      desktop(std::move(desktop)),
      writeLine(std::move(writeLine)),
      quit(std::move(quit)),
      detach(std::move(detach)) {}

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
        {"status", {{"status", "shows whether it listens and is advertised, and its settings"}}, runStatus},
        {"pair", {{"pair", "opens a pairing window of 120 seconds: code, link, QR code"}}, runPair},
        {"cancel", {{"cancel", "closes the pairing window"}}, runCancel},
        {"devices", {{"devices", "lists the paired devices, numbered"}}, runDevices},
        {"revoke", {{"revoke <number>", "forgets the paired device of that number"}}, runRevoke},
        {"log", {{"log", "shows the security log, newest first"}}, runLog},
        {"relay",
         {{"relay on|off", "switches the relay connection on or off"},
          {"relay host <host>", "sets the relay host"},
          {"relay client-port <1-65535>", "sets the relay port devices connect to"},
          {"relay control-port <1-65535>", "sets the relay port this server connects to"}},
         runRelay},
        {"password",
         {{"password set <new>", "sets the extra-authorization password"},
          {"password change", "reads the current password, then the new one, from the next lines"},
          {"password remove <current>", "removes the password"}},
         runPassword},
        {"unlock", {{"unlock <current>", "unlocks the protected settings (scopes, duration)"}}, runUnlock},
        {"scopes",
         {{"scopes local|relay <list>|none", "what the password protects: stream, files, workflows"}},
         runScopes},
        {"duration",
         {{"duration background|short|standard|long", "sets how long a granted session lasts"}},
         runDuration},
        {"folder",
         {{"folder /<path>|~/<path>", "chooses the folder received files go to"},
          {"folder default", "goes back to Zentrabo in the download folder"},
          {"folder open", "shows the receive folder on the desktop"}},
         runFolder},
        {"login-item", {{"login-item", "switches starting at login on or off"}}, runLoginItem},
        {"request", {{"request accessibility|screen-recording", "asks for a desktop permission"}}, runRequest},
        {"restart", {{"restart", "starts the listener again, on a new port"}}, runRestart},
        {"help", {{"help", "lists the commands"}}, runHelp},
        {"detach", {{"detach", "ends this console and leaves the server running"}}, runDetach, true},
        {"quit", {{"quit", "stops the server"}}, runQuit},
    };
    return commands;
}

void runHelp(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("help", arguments)) return;
    // The purposes line up after the longest grammar.
    std::size_t width = 0;
    for (const auto& command : terminalCommands()) {
        if (!context.offers(command)) continue;
        for (const auto& form : command.forms) width = std::max(width, form.grammar.size());
    }
    context.write("Commands:");
    for (const auto& command : terminalCommands()) {
        if (!context.offers(command)) continue;
        for (const auto& form : command.forms) {
            std::string line(form.grammar);
            line.append(width + 2 - form.grammar.size(), ' ');
            line += form.purpose;
            context.write(line);
        }
    }
}

void runQuit(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("quit", arguments)) return;
    context.write("Quitting.");
    context.quit();
}

void runDetach(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("detach", arguments)) return;
    context.write("Detached; the server keeps running.");
    context.isDetached = true;
    context.detach();
}

TerminalFront::TerminalFront(HalvardineServer& server, TerminalEvents& events, std::string desktop,
                             LineWriter writeLine, std::function<void()> quit, std::function<void()> detach)
    : context_(std::make_shared<TerminalContext>(server, std::move(desktop), std::move(writeLine), std::move(quit),
                                                 std::move(detach))),
      // A pairing completes on a device's request, not on a command.
      eventSubscription_(events.subscribe([weak = std::weak_ptr<TerminalContext>(context_)](std::string_view line) {
          if (const auto context = weak.lock()) context->write(line);
      })) {}

TerminalFront::~TerminalFront() = default;

void TerminalFront::handleLine(std::string_view line, std::shared_ptr<void> hold) {
    if (context_->isAwaitingAnswer || !context_->heldLines.empty()) {
        context_->heldLines.push_back({std::string(line), std::move(hold)});
        return;
    }
    context_->runLine(line, std::move(hold));
}

void TerminalContext::answered() {
    isAwaitingAnswer = false;
    awaitedHold.reset();
    // An answer that arrives while held lines run (one answered at once)
    // leaves the rest to the loop already running.
    if (isRunningHeldLines) return;
    isRunningHeldLines = true;
    while (!isAwaitingAnswer && !heldLines.empty()) {
        HeldLine held = std::move(heldLines.front());
        heldLines.pop_front();
        runLine(held.line, std::move(held.hold));
    }
    isRunningHeldLines = false;
}

bool TerminalContext::offers(const TerminalCommand& command) const {
    return !command.isConsoleOnly || static_cast<bool>(detach);
}

void TerminalContext::runLine(std::string_view line, std::shared_ptr<void> hold) {
    if (isDetached) return;
    dispatchLine(*this, line);
    if (isAwaitingAnswer) awaitedHold = std::move(hold);
}

}  // namespace zentrabo
