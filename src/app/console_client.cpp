#include "app/console_client.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "app/command_line.hpp"
#include "app/console_address.hpp"
#include "app/standard_output.hpp"

namespace zentrabo {
namespace {

int cannotAttach(const std::string& why) {
    writeStandardErrorLine("zentrabo-server: cannot attach: " + why);
    return exitFailure;
}

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// What the server sends: its lines go to standard error until the line that
// says the console is attached, and everything after it to standard output.
class ServerOutput {
public:
    bool isAttached() const { return isAttached_; }

    // False when standard output no longer takes anything.
    bool take(std::string_view bytes) {
        if (isAttached_) return writeAll(STDOUT_FILENO, bytes);
        for (std::size_t index = 0; index < bytes.size(); ++index) {
            if (bytes[index] != '\n') {
                // A line before the attachment is the server's reason; it is short.
                if (firstLines_.size() < 4096) firstLines_.push_back(bytes[index]);
                continue;
            }
            if (firstLines_.rfind(consoleAttachedPrefix, 0) == 0) {
                isAttached_ = true;
                firstLines_.push_back('\n');
                return writeAll(STDOUT_FILENO, firstLines_) && take(bytes.substr(index + 1));
            }
            writeStandardErrorLine(firstLines_);
            firstLines_.clear();
        }
        return true;
    }

private:
    bool isAttached_ = false;
    std::string firstLines_;
};

}  // namespace

int runConsoleClient() {
    const auto where = consoleSocketPath();
    if (const auto* unavailable = std::get_if<ConsoleUnavailable>(&where)) return cannotAttach(unavailable->reason);
    const auto& path = std::get<std::filesystem::path>(where);
    // A console whose output goes away ends, as the write says.
    std::signal(SIGPIPE, SIG_IGN);

    const int server = connectToConsoleSocket(path);
    if (server < 0) {
        const int error = errno;
        if (error == ENOENT || error == ECONNREFUSED) {
            return cannotAttach("no instance is running (" + path.string() + ": " + std::strerror(error) + ")");
        }
        return cannotAttach(path.string() + ": " + std::strerror(error));
    }

    ServerOutput output;
    std::string toServer;
    bool isInputOpen = true;
    std::array<char, 4096> chunk{};
    for (;;) {
        // Standard input is read only once what it gave has gone to the
        // server, so neither direction buffers more than one chunk.
        std::array<pollfd, 2> ready{{
            {isInputOpen && toServer.empty() ? STDIN_FILENO : -1, POLLIN, 0},
            {server, static_cast<short>(POLLIN | (toServer.empty() ? 0 : POLLOUT)), 0},
        }};
        if (::poll(ready.data(), ready.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready[0].revents != 0) {
            const ssize_t count = ::read(STDIN_FILENO, chunk.data(), chunk.size());
            if (count < 0 && errno == EINTR) continue;
            if (count > 0) {
                toServer.assign(chunk.data(), static_cast<std::size_t>(count));
            } else {
                // The end of input ends the console once the server has
                // answered what came before it.
                isInputOpen = false;
                ::shutdown(server, SHUT_WR);
            }
        }
        if ((ready[1].revents & POLLOUT) != 0) {
            const ssize_t sent = ::send(server, toServer.data(), toServer.size(), MSG_NOSIGNAL);
            if (sent > 0) toServer.erase(0, static_cast<std::size_t>(sent));
            if (sent < 0 && errno != EINTR && errno != EAGAIN) break;
        }
        if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t count = ::recv(server, chunk.data(), chunk.size(), 0);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            if (!output.take(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) break;
        }
    }
    ::close(server);
    return output.isAttached() ? 0 : exitFailure;
}

}  // namespace zentrabo
