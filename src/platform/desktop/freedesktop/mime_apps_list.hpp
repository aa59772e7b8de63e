#pragma once
// The choice of a type's handler from mimeapps.list files and the entries'
// MimeType. Any local program can write such a file; reading the files and
// the entries is the caller's.
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/freedesktop/key_file.hpp"

namespace zentrabo::platform {

// For each of the types in turn (a type, then its ancestors): the first
// usable entry that a list's "Default Applications" names, the lists in
// their order; else the first of their "Added Associations"; else the first
// entry whose MimeType lists the type and that no "Removed Associations"
// names, a removal staying in force for the types after it. None when no
// type has one.
std::optional<DesktopEntry> chooseHandler(const std::vector<KeyFile>& lists, const std::vector<DesktopEntry>& entries,
                                          const std::vector<std::string>& types);

}  // namespace zentrabo::platform
