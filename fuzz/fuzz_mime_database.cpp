// Feeds arbitrary text to the shared MIME database's readers, the first
// byte choosing which: a globs2 file, asked for the types of a few file
// names, or a subclasses file, asked for a type's ancestry. A chosen glob
// is one of the text's, and seeing the same file again changes no choice;
// an ancestry starts with its type, holds no type twice, stays within its
// bound and holds only parents the text names (and text/plain).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_require.hpp"
#include "platform/desktop/freedesktop/mime_database.hpp"

namespace {

using namespace zentrabo::platform;
using zentrabo::fuzzing::require;

void globs(std::string_view text) {
    for (const std::string name : {"report.TXT", "archive.tar.gz", "Makefile", "a", "x.c~", "[weird]*?.name"}) {
        GlobChoice choice;
        chooseGlob(text, name, choice);
        if (choice.weight < 0) {
            require(choice.type == GlobChoice{}.type);
            continue;
        }
        require(choice.patternLength > 0);
        require(text.find(":" + choice.type + ":") != std::string_view::npos);
        const GlobChoice first = choice;
        chooseGlob(text, name, choice);
        require(choice.type == first.type && choice.weight == first.weight &&
                choice.patternLength == first.patternLength);
    }
}

void subclasses(std::string_view text) {
    const auto pairs = subclassPairs(text);
    for (const auto& type :
         {pairs.empty() ? std::string("text/x-fuzz") : pairs.front().first, std::string("text/x-fuzz")}) {
        const auto ancestry = typeAndAncestors(type, pairs);
        require(!ancestry.empty() && ancestry.front() == type);
        require(ancestry.size() <= maximumMimeTypeAncestry);
        for (std::size_t index = 1; index < ancestry.size(); ++index) {
            const auto& ancestor = ancestry[index];
            require(std::find(ancestry.begin(), ancestry.begin() + static_cast<std::ptrdiff_t>(index), ancestor) ==
                    ancestry.begin() + static_cast<std::ptrdiff_t>(index));
            require(ancestor == "text/plain" ||
                    std::any_of(pairs.begin(), pairs.end(), [&](const auto& pair) { return pair.second == ancestor; }));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        subclasses(text);
    } else {
        globs(text);
    }
    return 0;
}
