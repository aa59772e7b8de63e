#include "platform/desktop/freedesktop/application_matching.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <system_error>

#include "platform/desktop/freedesktop/exec_line.hpp"
#include "platform/files/program_search.hpp"

namespace zentrabo::platform {

namespace {

std::string withoutSuffix(const std::string& id) {
    constexpr std::string_view suffix = ".desktop";
    return id.ends_with(suffix) ? id.substr(0, id.size() - suffix.size()) : id;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::optional<DesktopEntry> firstEntry(const std::vector<DesktopEntry>& entries,
                                       const std::function<bool(const DesktopEntry&)>& matches) {
    const auto it = std::find_if(entries.begin(), entries.end(), matches);
    if (it == entries.end()) return std::nullopt;
    return *it;
}

std::optional<std::filesystem::path> canonicalProgram(const std::string& program) {
    const auto found = findProgram(program);
    if (!found) return std::nullopt;
    std::error_code error;
    auto canonical = std::filesystem::canonical(*found, error);
    if (error) return std::nullopt;
    return canonical;
}

bool runsProgramOf(const DesktopEntry& entry, const std::filesystem::path& executable) {
    if (entry.tryExec && canonicalProgram(*entry.tryExec) == executable) return true;
    const auto argv = execArguments(entry, {});
    return argv && canonicalProgram(argv->front()) == executable;
}

}  // namespace

std::optional<DesktopEntry> matchingEntry(const std::vector<DesktopEntry>& entries, const ProcessClues& clues) {
    if (clues.launchedID) {
        if (auto entry = firstEntry(entries, [&](const auto& e) { return e.id == *clues.launchedID; })) return entry;
    }
    for (const auto& window : clues.windows) {
        if (!window.applicationID) continue;
        if (auto entry =
                firstEntry(entries, [&](const auto& e) { return withoutSuffix(e.id) == *window.applicationID; }))
            return entry;
    }
    for (const auto& window : clues.windows) {
        for (const auto* name : {&window.className, &window.instance}) {
            if (name->empty()) continue;
            if (auto entry = firstEntry(entries, [&](const auto& e) { return e.startupWMClass == *name; }))
                return entry;
        }
    }
    for (const auto& window : clues.windows) {
        for (const auto* name : {&window.className, &window.instance}) {
            if (name->empty()) continue;
            if (auto entry =
                    firstEntry(entries, [&](const auto& e) { return equalIgnoringCase(withoutSuffix(e.id), *name); }))
                return entry;
        }
    }
    if (clues.executable) {
        return firstEntry(entries, [&](const auto& e) { return runsProgramOf(e, *clues.executable); });
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
