#include "app/command_line.hpp"

#include <string_view>

#include "app/console_address.hpp"
#include "model/diagnostic_log.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo {

namespace {

std::string consoleSocketText() {
    const auto where = consoleSocketPath();
    if (const auto* path = std::get_if<std::filesystem::path>(&where)) return path->string();
    return "$XDG_RUNTIME_DIR/zentrabo/console (none now: " + std::get<ConsoleUnavailable>(where).reason + ")";
}

BadArgument unknown(std::string_view argument) { return {"unknown argument \"" + std::string(argument) + "\""}; }

}  // namespace

CommandLine parseCommandLine(int argumentCount, const char* const* arguments) {
    if (argumentCount <= 1) return RunServer{};
    const std::string_view first = arguments[1];
    const bool isHelp = first == "--help" || first == "-h";
    const bool isVersion = first == "--version";
    const bool isConsole = first == "console";
    if (argumentCount == 2 && isHelp) return ShowHelp{};
    if (argumentCount == 2 && isVersion) return ShowVersion{};
    if (argumentCount == 2 && isConsole) return AttachConsole{};
    // These take nothing after them: then the argument after one is the bad one.
    if (isHelp || isVersion || isConsole) return unknown(arguments[2]);
    RunServer run;
    for (int index = 1; index < argumentCount; ++index) {
        const std::string_view argument = arguments[index];
        if (argument != "--desktop") return unknown(argument);
        if (run.desktop) return BadArgument{"--desktop given twice"};
        if (index + 1 == argumentCount) return BadArgument{"--desktop needs x11, gnome-wayland or virtual"};
        const std::string_view kind = arguments[++index];
        if (kind == "x11") {
            run.desktop = DesktopKind::x11;
        } else if (kind == "gnome-wayland") {
            run.desktop = DesktopKind::gnomeWayland;
        } else if (kind == "virtual") {
            run.desktop = DesktopKind::virtualDesktop;
        } else {
            return BadArgument{"--desktop needs x11, gnome-wayland or virtual, not \"" + std::string(kind) + "\""};
        }
    }
    return run;
}

std::vector<std::string> desktopArguments(const RunServer& run) {
    if (!run.desktop) return {};
    switch (*run.desktop) {
    case DesktopKind::x11:
        return {"--desktop", "x11"};
    case DesktopKind::gnomeWayland:
        return {"--desktop", "gnome-wayland"};
    case DesktopKind::virtualDesktop:
        break;
    }
    return {"--desktop", "virtual"};
}

std::string versionLine() {
    return "Zentrabo Server " + std::string(appVersion()) + " (" + std::string(buildNumber()) + ")";
}

std::string usageText() {
    return "Usage: zentrabo-server [--desktop x11|gnome-wayland|virtual] | console | --help | --version\n"
           "\n"
           "Makes this computer controllable from paired phone apps. It listens for them\n"
           "with TLS 1.3 on a port chosen anew at each start and advertises itself over\n"
           "DNS-SD (" +
           std::string(HalvardineProtocol::serviceType) +
           ") through avahi-daemon, so devices on the network find it.\n"
           "\n"
           "It reads commands on standard input, one per line; \"help\" lists them,\n"
           "\"pair\" opens a pairing window, \"status\" shows the port. It stops on \"quit\",\n"
           "Ctrl-C, SIGTERM or SIGHUP. One instance runs per data folder.\n"
           "\n"
           "A server started without a terminal (at login, say) is reached with\n"
           "\"zentrabo-server console\", which attaches this terminal to the running\n"
           "instance through its console socket; the same commands work there.\n"
           "\"detach\" or the end of input (Ctrl-D) ends the console and leaves the server\n"
           "running; \"quit\" stops the server. Up to " +
           std::to_string(maximumConsoles) +
           " consoles attach at once, all of the\n"
           "user the server runs as.\n"
           "\n"
           "Files:\n"
           "  settings  " +
           platform::configFolder().string() +
           "\n"
           "  data      " +
           platform::dataFolder().string() +
           " (key store, the desktop's applications)\n"
           "  log       " +
           diagnosticLogPath() +
           "\n"
           "  console   " +
           consoleSocketText() +
           "\n"
           "\n"
           "Desktop: it controls the X11 session named by $DISPLAY, or the GNOME Wayland\n"
           "session named by $WAYLAND_DISPLAY when $XDG_CURRENT_DESKTOP names GNOME (its\n"
           "windows through the server's GNOME Shell extension: see README). It does\n"
           "not start in another Wayland session or on a display that does not\n"
           "answer; only with neither variable set does it take its built-in virtual\n"
           "desktop (a scenario of applications and windows, from virtual-desktop.json\n"
           "in the settings folder when that file exists), and says so. The start line\n"
           "\"Desktop: ...\" and \"status\" say which. It stops, with status 0, when\n"
           "the X display goes away for good (the session ended).\n"
           "\n"
           "Options:\n"
           "  --desktop x11      controls the X11 display named by $DISPLAY (also\n"
           "                     XWayland's, which shows XWayland windows only)\n"
           "  --desktop gnome-wayland\n"
           "                     controls the GNOME Wayland session of $WAYLAND_DISPLAY\n"
           "                     (windows, applications, displays and screen capture;\n"
           "                     no input, clipboard or accessibility yet)\n"
           "  --desktop virtual  controls the virtual desktop\n"
           "  console            attaches this terminal to the running instance\n"
           "  -h, --help         prints this text and exits\n"
           "  --version          prints the version and exits\n"
           "\n"
           "Exit status: 0 after a clean stop; 1 when it never listened, could not start,\n"
           "or another instance runs; 2 for a desktop scenario it cannot use, a Wayland\n"
           "session other than GNOME's, an X11 display or GNOME session that does not\n"
           "answer, or an argument it does not\n"
           "know. A console ends with 0 once it was attached and 1 when it could not\n"
           "attach.\n";
}

}  // namespace zentrabo
