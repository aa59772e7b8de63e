// zentrabo-server: installs the diagnostics and runs the main loop until
// SIGINT or SIGTERM asks it to stop.
#include "model/diagnostic_log.hpp"
#include "platform/dispatch/main_loop.hpp"

#include <asio/signal_set.hpp>

#include <csignal>
#include <system_error>

int main() {
    zentrabo::installDiagnostics();

    zentrabo::platform::MainLoop mainLoop;
    asio::signal_set terminationSignals(mainLoop.context(), SIGINT, SIGTERM);
    terminationSignals.async_wait([&mainLoop](const std::error_code& error, int) {
        if (error) return;
        ZENTRABO_LOG("Application will terminate");
        mainLoop.stop();
    });

    mainLoop.run();
    return 0;
}
