#include "platform/desktop/freedesktop/key_file.hpp"

#include <cstdlib>

#include "platform/files/bounded_file_read.hpp"

namespace zentrabo::platform {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string messageLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

// The locale's names in the order they are tried.
std::vector<std::string> localeCandidates(const std::string& locale) {
    std::string lang = locale, country, modifier;
    if (const auto at = lang.find('@'); at != std::string::npos) {
        modifier = lang.substr(at + 1);
        lang.erase(at);
    }
    if (const auto dot = lang.find('.'); dot != std::string::npos) lang.erase(dot);
    if (const auto underscore = lang.find('_'); underscore != std::string::npos) {
        country = lang.substr(underscore + 1);
        lang.erase(underscore);
    }
    if (lang.empty() || lang == "C" || lang == "POSIX") return {};
    std::vector<std::string> candidates;
    if (!country.empty() && !modifier.empty()) candidates.push_back(lang + "_" + country + "@" + modifier);
    if (!country.empty()) candidates.push_back(lang + "_" + country);
    if (!modifier.empty()) candidates.push_back(lang + "@" + modifier);
    candidates.push_back(lang);
    return candidates;
}

}  // namespace

std::optional<KeyFile> KeyFile::read(const std::filesystem::path& path, std::size_t maximumByteCount) {
    const auto file = readRegularFile(path.string(), maximumByteCount);
    if (file.status != BoundedFileRead::Status::ok) return std::nullopt;
    return parse(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
}

KeyFile KeyFile::parse(std::string_view text) {
    KeyFile file;
    Group* current = nullptr;
    bool repeatedGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string name(line.substr(1, line.size() - 2));
            const auto [it, inserted] = file.groups_.try_emplace(name);
            if (inserted) file.order_.push_back(name);
            current = &it->second;
            repeatedGroup = !inserted;
            continue;
        }
        const auto equals = line.find('=');
        if (!current || repeatedGroup || equals == std::string_view::npos) continue;
        const auto key = trimmed(line.substr(0, equals));
        if (key.empty()) continue;
        current->try_emplace(std::string(key), std::string(trimmed(line.substr(equals + 1))));
    }
    return file;
}

const KeyFile::Group* KeyFile::group(std::string_view name) const {
    const auto it = groups_.find(name);
    return it == groups_.end() ? nullptr : &it->second;
}

std::string unescapeKeyValue(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += value[i];
        }
    }
    return text;
}

std::vector<std::string> keyValueList(std::string_view value) {
    std::vector<std::string> items;
    std::string item;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
            item += ";";
            ++i;
        } else if (value[i] == ';') {
            if (!item.empty()) items.push_back(unescapeKeyValue(item));
            item.clear();
        } else {
            item += value[i];
        }
    }
    if (!item.empty()) items.push_back(unescapeKeyValue(item));
    return items;
}

std::optional<std::string> localizedKeyValue(const KeyFile::Group& group, std::string_view key) {
    for (const auto& locale : localeCandidates(messageLocale())) {
        const auto it = group.find(std::string(key) + "[" + locale + "]");
        if (it != group.end()) return unescapeKeyValue(it->second);
    }
    const auto it = group.find(key);
    if (it == group.end()) return std::nullopt;
    return unescapeKeyValue(it->second);
}

}  // namespace zentrabo::platform
