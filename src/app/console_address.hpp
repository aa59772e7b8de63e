#pragma once
// Where a running instance takes consoles, and the line that tells a console
// it is attached: both ends of "zentrabo-server console" read them here.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace zentrabo {

// No console socket, and why ("XDG_RUNTIME_DIR is not set").
struct ConsoleUnavailable {
    std::string reason;
};

// $XDG_RUNTIME_DIR/zentrabo/console, read from the environment now.
std::variant<std::filesystem::path, ConsoleUnavailable> consoleSocketPath();

// A connected descriptor to the socket at path, or -1 with errno set.
int connectToConsoleSocket(const std::filesystem::path& path);

// At most this many consoles are attached at once.
inline constexpr std::size_t maximumConsoles = 8;

// The first line an accepted console receives; a refused one receives a
// line saying why instead.
inline constexpr std::string_view consoleAttachedPrefix = "Attached to zentrabo-server";
std::string consoleAttachedLine(long pid);

}  // namespace zentrabo
