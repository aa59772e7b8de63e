#pragma once
// The program's arguments: --help, --version, or none at all.
#include <string>
#include <variant>

namespace zentrabo {

struct RunServer {};
struct ShowHelp {};
struct ShowVersion {};
struct BadArgument {
    std::string argument;
};
using CommandLine = std::variant<RunServer, ShowHelp, ShowVersion, BadArgument>;

// Exit statuses besides 0.
inline constexpr int exitFailure = 1;
// A desktop scenario the server cannot use, or an argument it does not know.
inline constexpr int exitUnusableInput = 2;

CommandLine parseCommandLine(int argumentCount, const char* const* arguments);

// "Zentrabo Server <version> (<build>)".
std::string versionLine();

// What the server does, how it is driven, where its files live (from the
// environment now) and its exit statuses.
std::string usageText();

}  // namespace zentrabo
