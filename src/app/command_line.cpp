#include "app/command_line.hpp"

#include <string_view>

#include "model/diagnostic_log.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo {

CommandLine parseCommandLine(int argumentCount, const char* const* arguments) {
    if (argumentCount <= 1) return RunServer{};
    const std::string_view first = arguments[1];
    const bool isHelp = first == "--help" || first == "-h";
    const bool isVersion = first == "--version";
    if (argumentCount == 2 && isHelp) return ShowHelp{};
    if (argumentCount == 2 && isVersion) return ShowVersion{};
    // An option takes nothing after it: then the argument after it is the bad one.
    return BadArgument{std::string(isHelp || isVersion ? arguments[2] : arguments[1])};
}

std::string versionLine() {
    return "Zentrabo Server " + std::string(appVersion()) + " (" + std::string(buildNumber()) + ")";
}

std::string usageText() {
    return "Usage: zentrabo-server [--help | --version]\n"
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
           "\n"
           "Options:\n"
           "  -h, --help  prints this text and exits\n"
           "  --version   prints the version and exits\n"
           "\n"
           "Exit status: 0 after a clean stop; 1 when it never listened, could not start,\n"
           "or another instance runs; 2 for a desktop scenario it cannot use or an\n"
           "argument it does not know.\n";
}

}  // namespace zentrabo
