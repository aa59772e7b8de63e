// Feeds arbitrary text to the key-file reader that desktop entries, icon
// theme indexes and mimeapps.list go through, then takes the "Desktop Entry"
// group's values apart as a launch would: the localized name, the value
// lists and the Exec line with its field codes, with a file and a URL to
// open. No argument vector may name no program.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_require.hpp"
#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/freedesktop/exec_line.hpp"
#include "platform/desktop/freedesktop/key_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    const auto file = KeyFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto* group = file.group("Desktop Entry");
    if (!group) return 0;
    DesktopEntry entry;
    entry.name = localizedKeyValue(*group, "Name").value_or("");
    entry.icon = localizedKeyValue(*group, "Icon").value_or("");
    for (const char* key : {"MimeType", "Categories", "OnlyShowIn"}) {
        if (const auto value = group->find(key); value != group->end()) (void)keyValueList(value->second);
    }
    const auto exec = group->find("Exec");
    if (exec == group->end()) return 0;
    entry.exec = unescapeKeyValue(exec->second);
    entry.path = "/fuzz/entry.desktop";
    for (const auto& targets :
         {std::vector<LaunchTarget>{}, std::vector<LaunchTarget>{{"/tmp/a b.txt", true}, {"https://x/?q=1", false}}}) {
        if (const auto arguments = execArguments(entry, targets)) {
            zentrabo::fuzzing::require(!arguments->empty() && !arguments->front().empty());
        }
    }
    return 0;
}
