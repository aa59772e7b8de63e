#include "app/console_address.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/server_identity.hpp"

namespace zentrabo {

std::variant<std::filesystem::path, ConsoleUnavailable> consoleSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || *runtime == '\0') return ConsoleUnavailable{"XDG_RUNTIME_DIR is not set"};
    const std::filesystem::path folder(runtime);
    // A relative one would name another socket from every working folder.
    if (!folder.is_absolute()) return ConsoleUnavailable{"XDG_RUNTIME_DIR is not an absolute path"};
    auto path = folder / serverIdentity().folderName / "console";
    if (path.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        return ConsoleUnavailable{path.string() + " is too long for a local socket"};
    }
    return path;
}

int connectToConsoleSocket(const std::filesystem::path& path) {
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

std::string consoleAttachedLine(long pid) {
    return std::string(consoleAttachedPrefix) + " (pid " + std::to_string(pid) +
           "). Type \"help\" for the commands; \"detach\" or the end of input ends the console, \"quit\" stops "
           "the server.";
}

}  // namespace zentrabo
