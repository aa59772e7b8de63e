#pragma once
// What every command handler of the terminal front works with, and the
// command table that help and the dispatch of a line both read.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/terminal_front.hpp"

namespace zentrabo {

class ClientAuthorizer;
class ExtraAuthorization;
class HalvardineServer;
class ListenerStatus;
class PairingWindow;
class PermissionMonitor;
class ReceiveFolder;
class RelaySettings;
struct TerminalCommand;

struct TerminalContext : std::enable_shared_from_this<TerminalContext> {
    TerminalContext(HalvardineServer& server, std::string desktop, TerminalFront::LineWriter writeLine,
                    std::function<void()> quit, std::function<void()> detach);

    // The server itself only restarts its listener; every other command
    // works on the feature it concerns.
    HalvardineServer& server;
    ListenerStatus& listener;
    PairingWindow& pairing;
    ClientAuthorizer& authorization;
    ExtraAuthorization& extraAuthorization;
    RelaySettings& relay;
    PermissionMonitor& permissions;
    ReceiveFolder& receiveFolder;
    // Which desktop the server controls, as the start line says it.
    std::string desktop;
    TerminalFront::LineWriter writeLine;
    std::function<void()> quit;
    // Empty but for the front of an attached console.
    std::function<void()> detach;
    // Set by "detach": the lines after it are not run.
    bool isDetached = false;
    // The protected extra-authorization settings (scopes, duration) were
    // unlocked with the password; dropped when the password changes.
    bool settingsUnlocked = false;
    // Set while a command reads the following input lines itself (a password
    // change); that line is handed here instead of being run as a command.
    std::function<void(std::string line)> readNextLine;

    // Set while a command's answer comes later (work on another thread):
    // the lines after it wait in heldLines, in order, until it has answered.
    bool isAwaitingAnswer = false;
    struct HeldLine {
        std::string line;
        std::shared_ptr<void> hold;
    };
    std::deque<HeldLine> heldLines;
    // The hold of the line whose answer is awaited.
    std::shared_ptr<void> awaitedHold;
    bool isRunningHeldLines = false;

    void write(std::string_view line) const { writeLine(line); }
    // The command being run answers later; call answered() when it has.
    void awaitAnswer() { isAwaitingAnswer = true; }
    // Runs the lines that waited for the answer, until one awaits its own.
    void answered();
    // Runs one line as a command (or hands it to readNextLine); a line
    // whose answer comes later keeps its hold until then.
    void runLine(std::string_view line, std::shared_ptr<void> hold);
    // Whether this front offers the command.
    bool offers(const TerminalCommand& command) const;
    // One line naming what was wrong with a command, pointing to help.
    void reportMalformed(std::string_view command, std::string_view problem) const;
    // True for no arguments; otherwise reports the command as malformed.
    bool takesNoArguments(std::string_view command, std::string_view arguments) const;
};

using TerminalHandler = void (*)(TerminalContext& context, std::string_view arguments);

struct TerminalCommand {
    std::string_view name;
    // One form of the command and what it does, as help prints it.
    struct Form {
        std::string_view grammar;
        std::string_view purpose;
    };
    std::vector<Form> forms;
    TerminalHandler run;
    // Offered (run and listed by help) only by the front of an attached console.
    bool isConsoleOnly = false;
};

// Every command, in the order help lists them.
const std::vector<TerminalCommand>& terminalCommands();

// "on, host relay.example.net, client port 443, control port 8443".
std::string relaySettingsText(const RelaySettings& relay);

// The handlers, grouped by subject in their own files.
void runPair(TerminalContext& context, std::string_view arguments);
void runCancel(TerminalContext& context, std::string_view arguments);
void runDevices(TerminalContext& context, std::string_view arguments);
void runRevoke(TerminalContext& context, std::string_view arguments);
void runLog(TerminalContext& context, std::string_view arguments);
void runRelay(TerminalContext& context, std::string_view arguments);
void runPassword(TerminalContext& context, std::string_view arguments);
void runUnlock(TerminalContext& context, std::string_view arguments);
void runScopes(TerminalContext& context, std::string_view arguments);
void runDuration(TerminalContext& context, std::string_view arguments);
void runFolder(TerminalContext& context, std::string_view arguments);
void runLoginItem(TerminalContext& context, std::string_view arguments);
void runRequest(TerminalContext& context, std::string_view arguments);
void runRestart(TerminalContext& context, std::string_view arguments);
void runStatus(TerminalContext& context, std::string_view arguments);
void runHelp(TerminalContext& context, std::string_view arguments);
void runQuit(TerminalContext& context, std::string_view arguments);
void runDetach(TerminalContext& context, std::string_view arguments);

}  // namespace zentrabo
