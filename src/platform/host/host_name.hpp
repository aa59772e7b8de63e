#pragma once
// What this computer is called, as the system names it.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The computer's user-visible name, read afresh from the system on each call:
// the pretty host name (PRETTY_HOSTNAME in /etc/machine-info), else the static
// host name (/etc/hostname), else the kernel's host name; none when all three
// are blank.
std::optional<std::string> computerName();

// computerName(), looked up again at most once a second.
std::optional<std::string> recentComputerName();

// The first of `candidates` that is not blank, trimmed of white space and line
// breaks; none when every one is blank.
std::optional<std::string> chooseComputerName(std::span<const std::string> candidates);

// The value of PRETTY_HOSTNAME in the contents of /etc/machine-info, with the
// shell quoting that file uses removed; empty when it is not set.
std::string prettyHostNameFromMachineInfo(std::string_view contents);

// The host name in the contents of /etc/hostname: its first line that is
// neither blank nor a comment.
std::string hostNameFromHostnameFile(std::string_view contents);

}  // namespace zentrabo::platform
