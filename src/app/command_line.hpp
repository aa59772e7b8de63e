#pragma once
// The program's arguments: --help, --version, console, or the desktop to control.
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zentrabo {

// The desktop the server controls: an X11 session's, a GNOME Wayland
// session's, or the built-in virtual one.
enum class DesktopKind { x11, gnomeWayland, virtualDesktop };

struct RunServer {
    // None: chosen from the environment.
    std::optional<DesktopKind> desktop;
};
// Attach this terminal to the instance that runs.
struct AttachConsole {};
struct ShowHelp {};
struct ShowVersion {};
struct BadArgument {
    // What is wrong, for a line on standard error ("unknown argument \"-x\"").
    std::string problem;
};
using CommandLine = std::variant<RunServer, AttachConsole, ShowHelp, ShowVersion, BadArgument>;

// Exit statuses besides 0.
inline constexpr int exitFailure = 1;
// A desktop scenario the server cannot use, a desktop it cannot reach, or an
// argument it does not know.
inline constexpr int exitUnusableInput = 2;

CommandLine parseCommandLine(int argumentCount, const char* const* arguments);

// The arguments that start the server on the same desktop choice again
// ("--desktop x11"); none when the environment chose.
std::vector<std::string> desktopArguments(const RunServer& run);

// "Zentrabo Server <version> (<build>)".
std::string versionLine();

// What the server does, how it is driven, where its files live (from the
// environment now) and its exit statuses.
std::string usageText();

}  // namespace zentrabo
