#pragma once
// The key files of the freedesktop conventions (desktop entries,
// mimeapps.list, index.theme): "[Group]" headers and "Key=Value" lines,
// comments after "#". Read whole, bounded in size.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

class KeyFile {
public:
    using Group = std::map<std::string, std::string, std::less<>>;

    // The file's groups; none when it cannot be read, is not a regular file
    // or is larger than maximumByteCount. Lines that are neither are passed
    // over; the first of a repeated group or key counts.
    static std::optional<KeyFile> read(const std::filesystem::path& path, std::size_t maximumByteCount = 256 * 1024);
    static KeyFile parse(std::string_view text);

    // A group's keys as written (localized keys keep their "[locale]").
    const Group* group(std::string_view name) const;
    // The groups in the order they came.
    const std::vector<std::string>& groupNames() const { return order_; }

private:
    std::map<std::string, Group, std::less<>> groups_;
    std::vector<std::string> order_;
};

// A value of type string with its escapes ("\s", "\n", "\t", "\r", "\\")
// resolved; an unknown escape keeps its backslash.
std::string unescapeKeyValue(std::string_view value);

// A list value: items separated by ";" ("\;" keeps one in an item), each
// unescaped; a trailing separator ends the list, empty items are dropped.
std::vector<std::string> keyValueList(std::string_view value);

// A locale string: the value of key[locale] for the best match of the
// user's message locale (LC_ALL, else LC_MESSAGES, else LANG, read now:
// lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang), else key's
// own value; none when the key is missing.
std::optional<std::string> localizedKeyValue(const KeyFile::Group& group, std::string_view key);

}  // namespace zentrabo::platform
