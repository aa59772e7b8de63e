#pragma once
// A desktop entry's Exec line made into the argument vector of one launch,
// as the Desktop Entry rules say: arguments split at unquoted white space,
// double quotes with "\"", "\`", "\$" and "\\" inside them, and the field
// codes expanded. Nothing here is ever read by a shell: a ";" or "$HOME" is
// an argument's plain text.
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/desktop_entries.hpp"

namespace zentrabo::platform {

// What a launch opens: a file by its path, or a URL.
struct LaunchTarget {
    std::string text;
    bool isFile = false;
};

// The target as a URL: a file's path as a "file:" URL, a URL as it is.
std::string targetURL(const LaunchTarget& target);

// The argument vector; none when the line is malformed (an unterminated
// quote, an unknown field code, no program), or when there is a target and
// the line takes none of the kind it has (a URL other than "file:" for an
// entry that takes only files). %f and %u take the first target, %F and %U
// all of them; %i is "--icon" and the entry's icon when it has one, %c its
// name, %k its path; the deprecated codes are dropped.
std::optional<std::vector<std::string>> execArguments(const DesktopEntry& entry,
                                                      const std::vector<LaunchTarget>& targets);

}  // namespace zentrabo::platform
