// Feeds arbitrary text to the icon theme index reader (index.theme). Every
// folder it keeps has a positive size; for any size asked, a folder's
// distance is never negative and is zero where the folder serves the size,
// whatever numbers the index holds.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_require.hpp"
#include "platform/desktop/freedesktop/icon_theme_index.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    using zentrabo::fuzzing::require;
    const auto index = parseIconThemeIndex(KeyFile::parse(std::string_view(reinterpret_cast<const char*>(data), size)));
    if (!index) return 0;
    for (const auto& folder : index->folders) {
        require(folder.size > 0 && !folder.path.empty());
        for (const int wanted :
             {1, 16, 48, 256, INT_MAX, INT_MIN, folder.size, folder.minimum, folder.maximum, folder.size - 1}) {
            const auto distance = folder.distance(wanted);
            require(distance >= 0);
            if (folder.serves(wanted)) require(distance == 0);
        }
    }
    return 0;
}
