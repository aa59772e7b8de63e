#pragma once
// Path texts as the file browser shows them: absolute, single slashes, no
// trailing slash except the root. "." and ".." are kept as typed, because
// resolving them by text would go wrong across symbolic links.
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The current user's home folder: $HOME, read at each call so tests can
// redirect it, else the password database's entry; "/" when neither exists.
std::string homeFolderPath();

// "~" and "~/..." become the home folder; "~name/..." the home of that user
// when the system knows it. Anything else is returned unchanged.
std::string expandingTildeInPath(std::string_view path);

// Repeated slashes collapsed and a trailing slash removed (the root stays "/").
std::string standardizedPathText(std::string_view path);

// The last component ("/" for the root, "" for an empty path).
std::string lastPathComponent(std::string_view path);
// The path without its last component ("/" for a top-level item and for the
// root itself, "" for a relative single component).
std::string deletingLastPathComponent(std::string_view path);
// folder + "/" + component, without doubling the slash.
std::string appendingPathComponent(std::string_view folder, std::string_view component);

// The text after the last "." of the last component, lower-cased (ASCII);
// "" when there is none or the only dot starts the name (".profile").
std::string lowercasePathExtension(std::string_view name);

}  // namespace zentrabo::platform
