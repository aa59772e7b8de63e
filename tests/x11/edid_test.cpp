// The monitor name an EDID block names, whatever else the block holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/x11/edid.hpp"

namespace zentrabo::platform {
namespace {

// A base block with the descriptor at place (0 to 3) holding the tag and text.
std::vector<std::uint8_t> edidWith(int place, std::uint8_t tag, const std::string& text) {
    std::vector<std::uint8_t> edid(128, 0);
    const std::uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), edid.begin());
    // A detailed timing in the first descriptor, as real monitors have.
    edid[54] = 0x01;
    edid[55] = 0x1D;
    const std::size_t at = 54 + static_cast<std::size_t>(place) * 18;
    edid[at] = edid[at + 1] = edid[at + 2] = 0;
    edid[at + 3] = tag;
    std::copy(text.begin(), text.end(), edid.begin() + static_cast<std::ptrdiff_t>(at + 5));
    return edid;
}

TEST(Edid, TheMonitorNameDescriptorNamesTheMonitor) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> edid;
        std::optional<std::string> monitor;
    };
    auto badHeader = edidWith(1, 0xFC, "Studio\n");
    badHeader[0] = 0x01;
    auto truncated = edidWith(1, 0xFC, "Studio\n");
    truncated.resize(100);
    auto control = edidWith(2, 0xFC, "Stu\x01o\n");
    const std::vector<Case> cases{
        {"line feed and padding cut", edidWith(1, 0xFC, "Studio 27\n   "), "Studio 27"},
        {"thirteen characters fill it", edidWith(3, 0xFC, "ABCDEFGHIJKLM"), "ABCDEFGHIJKLM"},
        {"a serial number is no name", edidWith(1, 0xFF, "123456\n"), std::nullopt},
        {"a blank name is none", edidWith(2, 0xFC, "\n            "), std::nullopt},
        {"not an EDID", badHeader, std::nullopt},
        {"shorter than a block", truncated, std::nullopt},
        {"control characters", control, std::nullopt},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(edidMonitorName(test.edid), test.monitor) << test.name;
    }
}

}  // namespace
}  // namespace zentrabo::platform
