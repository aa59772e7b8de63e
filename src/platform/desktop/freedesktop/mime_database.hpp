#pragma once
// The shared MIME database's text files, taken apart: "globs2" (a file
// name's type) and "subclasses" (a type's parents). Any local program can
// write one, so each is read as it comes; reading the files is the caller's.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zentrabo::platform {

// A type's ancestry is short; a longer one is a loop or a hostile file.
inline constexpr std::size_t maximumMimeTypeAncestry = 32;

// The best glob so far for one file name, over one globs2 file after another.
struct GlobChoice {
    std::string type = "application/octet-stream";
    int weight = -1;
    std::size_t patternLength = 0;
};

// Takes the "weight:type:glob[:flags]" lines of a globs2 text: a glob that
// matches the name (ignoring case unless its flags say "cs") replaces the
// choice when its weight is higher, or equal with a longer pattern; a line
// of a negative weight is passed over.
void chooseGlob(std::string_view globs2, const std::string& fileName, GlobChoice& choice);

// The "subtype supertype" lines of a subclasses text, in order.
std::vector<std::pair<std::string, std::string>> subclassPairs(std::string_view subclasses);

// The type, then the types it is a kind of, nearest first: the parents the
// pairs name, theirs in turn, and "text/plain" for any other text type; at
// most maximumMimeTypeAncestry types, none twice.
std::vector<std::string> typeAndAncestors(const std::string& mimeType,
                                          const std::vector<std::pair<std::string, std::string>>& subclasses);

}  // namespace zentrabo::platform
