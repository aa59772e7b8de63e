#include "app/console_listener.hpp"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

#include "app/console_session.hpp"
#include "model/diagnostic_log.hpp"

namespace zentrabo {
namespace {

using Protocol = asio::local::stream_protocol;

// Connections the kernel holds until they are accepted.
constexpr int pendingConnections = 16;
// After a failed accept (no descriptor left, say), the next try waits this long.
constexpr double acceptRetrySeconds = 1;

std::string failed(const std::filesystem::path& path, int error) { return path.string() + ": " + std::strerror(error); }

// The folder of the socket: made 0700 when missing, and otherwise accepted
// only as a real folder of this user, its mode narrowed to 0700.
std::optional<std::string> prepareFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return failed(folder, errno);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return failed(folder, errno);
    if (!S_ISDIR(info.st_mode)) return folder.string() + " is not a folder";
    if (info.st_uid != ::geteuid()) return folder.string() + " belongs to another user";
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return failed(folder, errno);
    return std::nullopt;
}

// A socket left by a run that was killed is removed; one that answers
// belongs to another instance (on another data folder) and is left alone.
std::optional<std::string> clearStaleSocket(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? std::nullopt : std::optional(failed(path, errno));
    if (!S_ISSOCK(info.st_mode)) return path.string() + " is in the way and is not a socket";
    if (const int probe = connectToConsoleSocket(path); probe >= 0) {
        ::close(probe);
        return path.string() + " is taken by another running instance";
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failed(path, errno);
    return std::nullopt;
}

// Writes the line if the socket takes it at once; the connection is closed
// right after.
void refuse(Protocol::socket& socket, const std::string& why) {
    ZENTRABO_LOG("Console refused: " + why);
    const std::string line = why + "\n";
    [[maybe_unused]] const auto sent =
        ::send(socket.native_handle(), line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

}  // namespace

std::variant<std::shared_ptr<ConsoleListener>, ConsoleUnavailable> ConsoleListener::open(
    const std::filesystem::path& path, const asio::any_io_executor& mainLoop, platform::Clock& clock, Fronts fronts) {
    if (auto problem = prepareFolder(path.parent_path())) return ConsoleUnavailable{std::move(*problem)};
    if (auto problem = clearStaleSocket(path)) return ConsoleUnavailable{std::move(*problem)};
    Protocol::acceptor acceptor(mainLoop);
    std::error_code error;
    acceptor.open(Protocol(), error);
    if (!error) acceptor.bind(Protocol::endpoint(path.string()), error);
    if (error) return ConsoleUnavailable{path.string() + ": " + error.message()};
    // The folder already keeps other users out; the socket's own mode says
    // the same to anyone who looks.
    struct stat info {};
    if (::chmod(path.c_str(), 0600) != 0 || ::stat(path.c_str(), &info) != 0 ||
        ::listen(acceptor.native_handle(), pendingConnections) != 0) {
        const int cause = errno;
        ::unlink(path.c_str());
        return ConsoleUnavailable{failed(path, cause)};
    }
    auto listener = std::make_shared<ConsoleListener>(std::move(acceptor), path, info.st_ino, clock, std::move(fronts));
    listener->accept();
    return listener;
}

ConsoleListener::ConsoleListener(Protocol::acceptor acceptor, std::filesystem::path path, ino_t socketInode,
                                 platform::Clock& clock, Fronts fronts)
    : acceptor_(std::move(acceptor)),
      path_(std::move(path)),
      socketInode_(socketInode),
      clock_(clock),
      fronts_(std::move(fronts)) {}

ConsoleListener::~ConsoleListener() {
    std::error_code ignored;
    acceptor_.close(ignored);
    for (const auto& session : std::exchange(sessions_, {})) session->end("the server stops");
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && info.st_ino == socketInode_) ::unlink(path_.c_str());
}

void ConsoleListener::accept() {
    acceptor_.async_accept([weak = weak_from_this()](const std::error_code& error, Protocol::socket socket) {
        const auto self = weak.lock();
        if (!self || error == asio::error::operation_aborted) return;
        if (error) {
            ZENTRABO_LOG("Console not accepted: " + error.message());
            self->retry_ = self->clock_.schedule(self->acceptor_.get_executor(), acceptRetrySeconds, [weak] {
                if (const auto listener = weak.lock()) listener->accept();
            });
            return;
        }
        self->accepted(std::move(socket));
        self->accept();
    });
}

void ConsoleListener::accepted(Protocol::socket socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        refuse(socket, "Refused: the console's user could not be checked.");
        return;
    }
    const uid_t own = ::geteuid();
    if (peer.uid != own) {
        refuse(socket, "Refused: this server runs as user " + std::to_string(own) + "; a console of user " +
                           std::to_string(peer.uid) + " may not attach.");
        return;
    }
    if (sessions_.size() >= maximumConsoles) {
        refuse(socket, "Refused: at most " + std::to_string(maximumConsoles) + " consoles may attach.");
        return;
    }
    auto session = std::make_shared<ConsoleSession>(std::move(socket), fronts_.quitServer,
                                                    [weak = weak_from_this()](const ConsoleSession& ended) {
                                                        if (const auto self = weak.lock()) self->ended(ended);
                                                    });
    sessions_.push_back(session);
    ZENTRABO_LOG("Console attached (" + std::to_string(sessions_.size()) + " attached)");
    session->start(fronts_.server, fronts_.events, fronts_.desktop, consoleAttachedLine(::getpid()));
}

void ConsoleListener::ended(const ConsoleSession& session) {
    std::erase_if(sessions_, [&session](const auto& attached) { return attached.get() == &session; });
}

}  // namespace zentrabo
