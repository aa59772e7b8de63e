// zentrabo-server: builds the desktop and the one server, prints where it
// listens, takes commands from standard input, and runs the main loop until
// SIGINT, SIGTERM or "quit" asks it to stop.
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

#include "app/listening_announcement.hpp"
#include "app/process_setup.hpp"
#include "app/server_identity.hpp"
#include "app/standard_input_lines.hpp"
#include "app/standard_output.hpp"
#include "app/terminal_front.hpp"
#include "model/halvardine_protocol.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_security.hpp"
#include "server/halvardine_server.hpp"
#include "server/relay_settings/relay_connector_handle.hpp"

namespace {

// Exit statuses besides 0.
constexpr int startFailed = 1;
constexpr int unusableScenario = 2;

// The program the login item starts: this very executable.
std::filesystem::path ownExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(zentrabo::serverIdentity().programName) : path;
}

}  // namespace

int main() {
    using namespace zentrabo;
    platform::setProductIdentity(serverIdentity());
    installDiagnostics();
    ignoreBrokenPipes();
    raiseOpenFileLimit();

    platform::SystemClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop;
    try {
        desktop = platform::VirtualDesktop::create(platform::loadDesktopScenario(), clock);
    } catch (const platform::ScenarioError& error) {
        // The message names the file and the fault.
        std::fprintf(stderr, "zentrabo-server: unusable desktop scenario: %s\n", error.what());
        return unusableScenario;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zentrabo-server: the desktop could not be built: %s\n", error.what());
        return startFailed;
    }

    writeStandardOutputLine("Zentrabo Server " + std::string(appVersion()) + " (" + std::string(buildNumber()) + ")");

    platform::MainLoop mainLoop;
    // Declared before the store, so the store's last write still has its queue.
    platform::SerialQueue settingsWriter("settings writer");
    auto defaults = platform::UserDefaults::create(clock, settingsWriter.executor(), [](const std::string& problem) {
        ZENTRABO_LOG("Settings problem: " + problem);
    });
    HalvardineSecurity security(*defaults, clock);
    auto server = HalvardineServer::create(HalvardineServerEnvironment{
        clock, *desktop, std::make_shared<platform::XdgAutostartLoginItem>(ownExecutable()), mainLoop.executor(),
        defaults, security, makeRelayConnectorFactory(mainLoop.executor(), clock, security), std::nullopt, true});
    announceListening(server->listener(), writeStandardOutputLine);

    auto terminate = [&mainLoop] {
        ZENTRABO_LOG("Application will terminate");
        mainLoop.stop();
    };
    asio::signal_set terminationSignals(mainLoop.context(), SIGINT, SIGTERM);
    terminationSignals.async_wait([terminate](const std::error_code& error, int) {
        if (!error) terminate();
    });
    auto terminal = std::make_unique<TerminalFront>(*server, writeStandardOutputLine, terminate);
    auto input = std::make_unique<StandardInputLines>(
        STDIN_FILENO, mainLoop.executor(), [&terminal](std::optional<std::string> line) {
            if (!line) {
                writeStandardOutputLine("Line ignored: longer than " +
                                        std::to_string(StandardInputLines::maximumLineLength) + " bytes.");
                return;
            }
            terminal->handleLine(*line);
        });

    mainLoop.run();
    input.reset();
    terminal.reset();
    server.reset();
    defaults->flush();
    return 0;
}
