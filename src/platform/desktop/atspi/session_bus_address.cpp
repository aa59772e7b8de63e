#include "platform/desktop/atspi/session_bus_address.hpp"

#include <cstdlib>
#include <filesystem>

namespace zentrabo::platform {

std::optional<std::string> sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const auto socket = std::filesystem::path(runtime) / "bus";
        std::error_code error;
        if (std::filesystem::is_socket(socket, error)) return "unix:path=" + socket.string();
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
