#include "platform/desktop/freedesktop/mime_database.hpp"

#include <fnmatch.h>

#include <algorithm>
#include <charconv>
#include <system_error>

namespace zentrabo::platform {

namespace {

// Calls use with each line of the text but for empty lines and comments.
template <typename Use>
void forEachLine(std::string_view text, Use&& use) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.front() != '#') use(line);
    }
}

}  // namespace

void chooseGlob(std::string_view globs2, const std::string& fileName, GlobChoice& choice) {
    forEachLine(globs2, [&](std::string_view line) {
        // weight:type:glob[:flags]
        const auto first = line.find(':');
        const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) return;
        int weight = 0;
        // Weights run from 0 to 100; a negative one is a broken line.
        if (std::from_chars(line.data(), line.data() + first, weight).ec != std::errc() || weight < 0) return;
        const auto rest = line.substr(second + 1);
        const auto flagsAt = rest.find(':');
        const std::string glob(rest.substr(0, flagsAt));
        const bool caseSensitive =
            flagsAt != std::string_view::npos && rest.substr(flagsAt + 1).find("cs") != std::string_view::npos;
        if (glob.empty() || weight < choice.weight ||
            (weight == choice.weight && glob.size() <= choice.patternLength)) {
            return;
        }
        if (::fnmatch(glob.c_str(), fileName.c_str(), caseSensitive ? 0 : FNM_CASEFOLD) != 0) return;
        choice.type = std::string(line.substr(first + 1, second - first - 1));
        choice.weight = weight;
        choice.patternLength = glob.size();
    });
}

std::vector<std::pair<std::string, std::string>> subclassPairs(std::string_view subclasses) {
    std::vector<std::pair<std::string, std::string>> pairs;
    forEachLine(subclasses, [&pairs](std::string_view line) {
        const auto space = line.find(' ');
        if (space != std::string_view::npos) pairs.emplace_back(line.substr(0, space), line.substr(space + 1));
    });
    return pairs;
}

std::vector<std::string> typeAndAncestors(const std::string& mimeType,
                                          const std::vector<std::pair<std::string, std::string>>& subclasses) {
    std::vector<std::string> types{mimeType};
    const auto add = [&types](const std::string& type) {
        if (types.size() < maximumMimeTypeAncestry && std::find(types.begin(), types.end(), type) == types.end()) {
            types.push_back(type);
        }
    };
    for (std::size_t i = 0; i < types.size(); ++i) {
        for (const auto& [subtype, supertype] : subclasses) {
            if (subtype == types[i]) add(supertype);
        }
    }
    if (mimeType.starts_with("text/")) add("text/plain");
    return types;
}

}  // namespace zentrabo::platform
