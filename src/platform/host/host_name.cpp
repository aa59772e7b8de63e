#include "platform/host/host_name.hpp"

#include "platform/host/recent_value.hpp"
#include "platform/text/trim.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>

namespace zentrabo::platform {
namespace {

// Both name files hold a few short lines; what lies past this is ignored.
constexpr std::size_t maximumNameFileBytes = 4096;

std::string readNameFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::string contents(maximumNameFileBytes, '\0');
    file.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return contents;
}

std::string kernelHostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

// Calls `visit` with each line of `contents`, without its line feed.
template <typename Visit>
void forEachLine(std::string_view contents, Visit visit) {
    while (!contents.empty()) {
        const std::size_t end = contents.find('\n');
        visit(contents.substr(0, end));
        contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    }
}

// A value as the shell would read it: '…' literal, "…" with \ escaping
// \ " $ and `, bare text with \ escaping any character.
std::string unquoteShellValue(std::string_view text) {
    std::string value;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote == '\'') {
            if (c == '\'') {
                quote = 0;
            } else {
                value += c;
            }
        } else if (c == '\\' && i + 1 < text.size() &&
                   (quote == 0 || std::string_view("\\\"$`").find(text[i + 1]) != std::string_view::npos)) {
            value += text[++i];
        } else if (quote == '"' && c == '"') {
            quote = 0;
        } else if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote == 0 && (c == ' ' || c == '\t' || c == '\r')) {
            break;  // an unquoted blank ends the value
        } else {
            value += c;
        }
    }
    return value;
}

}  // namespace

std::optional<std::string> computerName() {
    const std::array<std::string, 3> candidates{prettyHostNameFromMachineInfo(readNameFile("/etc/machine-info")),
                                                hostNameFromHostnameFile(readNameFile("/etc/hostname")),
                                                kernelHostName()};
    return chooseComputerName(candidates);
}

std::optional<std::string> recentComputerName() {
    static RecentValue<std::optional<std::string>> name([] { return computerName(); }, recentHostFactsAge);
    return name.get();
}

std::optional<std::string> chooseComputerName(std::span<const std::string> candidates) {
    for (const std::string& candidate : candidates) {
        std::string trimmed = trimWhitespaceAndNewlines(candidate);
        if (!trimmed.empty()) {
            return trimmed;
        }
    }
    return std::nullopt;
}

std::string prettyHostNameFromMachineInfo(std::string_view contents) {
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    std::string value;
    // As in the shell, a later assignment wins.
    forEachLine(contents, [&](std::string_view line) {
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (line.starts_with(key)) {
            value = unquoteShellValue(line.substr(key.size()));
        }
    });
    return value;
}

std::string hostNameFromHostnameFile(std::string_view contents) {
    std::string name;
    forEachLine(contents, [&](std::string_view line) {
        if (!name.empty()) {
            return;
        }
        std::string trimmed = trimWhitespaceAndNewlines(line);
        if (!trimmed.empty() && trimmed.front() != '#') {
            name = std::move(trimmed);
        }
    });
    return name;
}

}  // namespace zentrabo::platform
