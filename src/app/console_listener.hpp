#pragma once
// The local socket where consoles attach to the running instance: a folder
// of the user's own (0700) in the runtime folder, the socket in it (0600),
// and the peer's credentials checked on every connection, so only the
// server's own user attaches. At most maximumConsoles at once.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/local/stream_protocol.hpp>

#include "app/console_address.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo {

class ConsoleSession;
class HalvardineServer;
class TerminalEvents;

class ConsoleListener : public std::enable_shared_from_this<ConsoleListener> {
public:
    // What each console's front works on; all of it outlives the listener.
    struct Fronts {
        HalvardineServer& server;
        TerminalEvents& events;
        std::string desktop;
        // Called after a console's "quit" has been written to it.
        std::function<void()> quitServer;
    };

    // Listens at path, on the main loop; why not when it cannot. The clock
    // spaces the accepts again after a failed one.
    static std::variant<std::shared_ptr<ConsoleListener>, ConsoleUnavailable> open(
        const std::filesystem::path& path, const asio::any_io_executor& mainLoop, platform::Clock& clock,
        Fronts fronts);

    ConsoleListener(asio::local::stream_protocol::acceptor acceptor, std::filesystem::path path, ino_t socketInode,
                    platform::Clock& clock, Fronts fronts);
    // Ends every console and removes the socket; on the main loop, before
    // the server goes.
    ~ConsoleListener();
    ConsoleListener(const ConsoleListener&) = delete;
    ConsoleListener& operator=(const ConsoleListener&) = delete;

    // Starts taking consoles.
    void accept();

private:
    void accepted(asio::local::stream_protocol::socket socket);
    void ended(const ConsoleSession& session);

    asio::local::stream_protocol::acceptor acceptor_;
    std::filesystem::path path_;
    // The socket this listener made, so that at the end it removes its own
    // socket only, never one a later instance bound in its place.
    ino_t socketInode_;
    platform::Clock& clock_;
    platform::Timer retry_;
    Fronts fronts_;
    std::vector<std::shared_ptr<ConsoleSession>> sessions_;
};

}  // namespace zentrabo
