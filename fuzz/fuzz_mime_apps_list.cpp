// Feeds arbitrary text as two mimeapps.list files (split at the first NUL
// byte) to the choice of a type's handler among a few entries. A handler
// chosen is one of the entries; one that no list names was chosen for its
// MimeType, so it lists one of the types asked.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_require.hpp"
#include "platform/desktop/freedesktop/mime_apps_list.hpp"

namespace {

using namespace zentrabo::platform;

DesktopEntry entry(std::string id, std::vector<std::string> mimeTypes) {
    DesktopEntry made;
    made.id = std::move(id);
    made.mimeTypes = std::move(mimeTypes);
    return made;
}

bool named(const std::vector<KeyFile>& lists, const std::string& id) {
    for (const auto& list : lists) {
        for (const auto& name : list.groupNames()) {
            const auto* group = list.group(name);
            for (const auto& [type, value] : *group) {
                const auto ids = keyValueList(value);
                if (std::find(ids.begin(), ids.end(), id) != ids.end()) return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zentrabo::fuzzing::require;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto split = std::min(text.find('\0'), text.size());
    const std::vector<KeyFile> lists{KeyFile::parse(text.substr(0, split)),
                                     KeyFile::parse(text.substr(std::min(split + 1, text.size())))};
    const std::vector<DesktopEntry> entries{entry("editor.desktop", {"text/plain", "text/x-csrc"}),
                                            entry("viewer.desktop", {"image/png"}), entry("other.desktop", {})};
    const std::vector<std::string> types{"text/x-csrc", "text/plain"};
    const auto handler = chooseHandler(lists, entries, types);
    if (!handler) return 0;
    require(std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.id == handler->id; }));
    if (!named(lists, handler->id)) {
        require(std::any_of(types.begin(), types.end(), [&](const auto& type) {
            return std::find(handler->mimeTypes.begin(), handler->mimeTypes.end(), type) != handler->mimeTypes.end();
        }));
    }
    return 0;
}
