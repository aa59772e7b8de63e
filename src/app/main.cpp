// zentrabo-server: takes one data folder for itself, builds the desktop and
// the one server, prints where it listens (and why not, when it cannot),
// takes commands from standard input and from attached consoles, and runs
// the main loop until SIGINT, SIGTERM, SIGHUP or "quit" asks it to stop.
// "zentrabo-server console" attaches to the instance that runs.
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <variant>

#include <unistd.h>

#include "app/bounded_lines.hpp"
#include "app/command_line.hpp"
#include "app/console_address.hpp"
#include "app/console_client.hpp"
#include "app/console_listener.hpp"
#include "app/desktop_choice.hpp"
#include "app/listening_announcement.hpp"
#include "app/process_setup.hpp"
#include "app/server_identity.hpp"
#include "app/standard_input_lines.hpp"
#include "app/standard_output.hpp"
#include "app/terminal_events.hpp"
#include "app/terminal_front.hpp"
#include "app/terminal_text.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/main_loop_gate.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/files/instance_lock.hpp"
#include "platform/files/xdg_folders.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_security.hpp"
#include "server/files/file_receive_folder.hpp"
#include "server/halvardine_server.hpp"
#include "server/relay_settings/relay_connector_handle.hpp"

namespace {

// The program the login item starts: this very executable.
std::filesystem::path ownExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(zentrabo::serverIdentity().programName) : path;
}

// Two copies on one data folder would share the key store and overwrite
// each other's paired devices. Taken before anything is written there.
std::optional<zentrabo::platform::InstanceLock> takeDataFolder() {
    using zentrabo::platform::InstanceLock;
    auto outcome = InstanceLock::acquire(zentrabo::platform::dataFolder() / "server.lock");
    if (auto* held = std::get_if<InstanceLock::HeldElsewhere>(&outcome)) {
        std::fprintf(stderr,
                     "zentrabo-server: another instance is running (pid %s); attach with: zentrabo-server console\n",
                     held->pid ? std::to_string(*held->pid).c_str() : "unknown");
        return std::nullopt;
    }
    if (auto* failed = std::get_if<InstanceLock::Failed>(&outcome)) {
        std::fprintf(stderr, "zentrabo-server: %s\n", failed->reason.c_str());
        return std::nullopt;
    }
    return std::move(std::get<InstanceLock>(outcome));
}

// Consoles attach through the runtime folder; without one the server runs
// on without them and says why.
std::shared_ptr<zentrabo::ConsoleListener> openConsoleListener(const asio::any_io_executor& mainLoop,
                                                               zentrabo::platform::Clock& clock,
                                                               zentrabo::ConsoleListener::Fronts fronts) {
    using namespace zentrabo;
    auto where = consoleSocketPath();
    if (auto* path = std::get_if<std::filesystem::path>(&where)) {
        auto opened = ConsoleListener::open(*path, mainLoop, clock, std::move(fronts));
        if (auto* listener = std::get_if<std::shared_ptr<ConsoleListener>>(&opened)) return std::move(*listener);
        where = std::get<ConsoleUnavailable>(std::move(opened));
    }
    const std::string reason = std::get<ConsoleUnavailable>(where).reason;
    ZENTRABO_LOG("No console socket: " + reason);
    writeStandardErrorLine("zentrabo-server: no console socket (" + reason +
                           "); \"zentrabo-server console\" cannot attach to this instance");
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zentrabo;
    platform::setProductIdentity(serverIdentity());
    // Arguments first: help, version and a refusal create nothing.
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (std::holds_alternative<ShowHelp>(commandLine)) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(commandLine)) {
        writeStandardOutputLine(versionLine());
        return 0;
    }
    if (const auto* bad = std::get_if<BadArgument>(&commandLine)) {
        std::fprintf(stderr, "zentrabo-server: %s\n\n%s", bad->problem.c_str(), usageText().c_str());
        return exitUnusableInput;
    }
    if (std::holds_alternative<AttachConsole>(commandLine)) return runConsoleClient();

    const auto dataFolderLock = takeDataFolder();
    if (!dataFolderLock) return exitFailure;
    applyDiagnosticLogLimitFromEnvironment();
    installDiagnostics();
    ignoreBrokenPipes();
    raiseOpenFileLimit();
    keepLargeBuffersOutOfTheHeap();

    platform::SystemClock clock;
    ChosenDesktop chosen;
    try {
        chosen = chooseDesktop(std::get<RunServer>(commandLine).desktop, DesktopEnvironment::current(), clock);
    } catch (const DesktopUnavailable& unavailable) {
        ZENTRABO_LOG(std::string("No desktop: ") + unavailable.what());
        writeStandardErrorLine(std::string("zentrabo-server: ") + unavailable.what());
        return unavailable.exitStatus();
    }
    const auto& desktop = chosen.desktop;
    const std::string desktopStatus = desktopStatusText(chosen);
    ZENTRABO_LOG(desktopChoiceLine(chosen));
    // Devices see the model desktop: whoever started the server hears why.
    if (chosen.unasked) writeStandardErrorLine(desktopChoiceLine(chosen));

    writeStandardOutputLine(versionLine());
    writeStandardOutputLine("Desktop: " + chosen.description);
    // Beside the start lines, which devices' scripts read in their order.
    for (const auto& note : chosen.notes) {
        ZENTRABO_LOG(note);
        writeStandardErrorLine(note);
    }

    platform::MainLoop mainLoop;
    // Declared before the store, so the store's last write still has its queue.
    platform::SerialQueue settingsWriter("zb-settings");
    auto defaults = platform::UserDefaults::create(clock, settingsWriter.executor(), [](const std::string& problem) {
        ZENTRABO_LOG("Settings problem: " + problem);
        // A settings file put aside means settings the user made are gone from view.
        writeStandardErrorLine("zentrabo-server: " + problem);
    });
    removeLeftoverTemporaryFiles(fileReceiveFolderURL(*defaults));
    HalvardineSecurity security(*defaults, clock);
    auto server = HalvardineServer::create(HalvardineServerEnvironment{
        clock, *desktop,
        std::make_shared<platform::XdgAutostartLoginItem>(ownExecutable(),
                                                          desktopArguments(std::get<RunServer>(commandLine))),
        mainLoop.executor(), defaults, security, makeRelayConnectorFactory(mainLoop.executor(), clock, security),
        std::nullopt, true});
    const auto& listener = server->listener();
    const bool onTerminal = isatty(STDIN_FILENO) == 1;
    announceListening(listener, writeStandardOutputLine, writeStandardErrorLine, [&server, onTerminal] {
        if (onTerminal) writeStandardOutputLine("Type pair to pair a device, help for commands.");
        if (!*server->permissions().hasAccessibilityAccess()) {
            writeStandardOutputLine("Accessibility is off: " + std::string(accessibilityOffHint));
        }
    });
    auto everListened = std::make_shared<bool>(listener.port()->has_value());
    listener.port().observe([everListened](const std::optional<std::uint16_t>& port) {
        if (port) *everListened = true;
    });

    auto terminate = [&mainLoop] {
        ZENTRABO_LOG("Application will terminate");
        mainLoop.stop();
    };
    // SIGHUP: the terminal the server runs in was closed.
    asio::signal_set terminationSignals(mainLoop.context(), SIGINT, SIGTERM, SIGHUP);
    terminationSignals.async_wait([terminate](const std::error_code& error, int) {
        if (error) return;
        writeStandardOutputLine("Stopping.");
        terminate();
    });
    TerminalEvents events(server->authorization());
    auto terminal = std::make_unique<TerminalFront>(*server, events, desktopStatus, writeStandardOutputLine, terminate);
    auto consoles = openConsoleListener(
        mainLoop.executor(), clock, ConsoleListener::Fronts{*server, events, desktopStatus, [terminate] {
                                                                writeStandardOutputLine("Quitting (from a console).");
                                                                terminate();
                                                            }});
    auto input = std::make_unique<StandardInputLines>(
        STDIN_FILENO, mainLoop.executor(),
        [&terminal](std::optional<std::string> line, StandardInputLines::LineSlot slot) {
            if (!line) {
                writeStandardOutputLine(ignoredLineText(StandardInputLines::maximumLineLength));
                return;
            }
            terminal->handleLine(*line, std::move(slot));
        });

    // What the desktop reports from its own threads reaches the main loop here.
    auto desktopReports = std::make_shared<platform::MainLoopGate>(mainLoop.executor());
    // A phone gets its pictures without sound: whoever runs the server hears
    // why, and hears when sound is back.
    desktop->screenCapture().whenStreamSoundChanges(
        [desktopReports, &events](const std::optional<std::string>& problem) {
            desktopReports->post([&events, problem] {
                const std::string line =
                    problem ? "A screen stream runs without sound: " + *problem : "Screen streams have sound again.";
                ZENTRABO_LOG(line);
                events.announce(line);
            });
        });
    // The session the server serves is gone (a logout): it stops with it,
    // cleanly, so the next login can start it anew.
    auto sessionEnded = std::make_shared<bool>(false);
    desktop->whenSessionEnds([desktopReports, sessionEnded, &server, terminate](const std::string& reason) {
        desktopReports->post([sessionEnded, &server, terminate, reason] {
            const std::string line = "The desktop session ended (" + reason + "); stopping.";
            ZENTRABO_LOG(line);
            writeStandardOutputLine(line);
            *sessionEnded = true;
            server->streams().endStreamsForSessionEnd();
            terminate();
        });
    });

    mainLoop.run();
    desktopReports->close();
    consoles.reset();
    input.reset();
    terminal.reset();
    server.reset();
    defaults->flush();
    return *everListened || *sessionEnded ? 0 : exitFailure;
}
