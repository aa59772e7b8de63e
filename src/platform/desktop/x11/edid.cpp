#include "platform/desktop/x11/edid.hpp"

#include <algorithm>
#include <array>

namespace zentrabo::platform {

namespace {

constexpr std::array<std::uint8_t, 8> header{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t baseBlockSize = 128;
constexpr std::size_t firstDescriptor = 54;
constexpr std::size_t descriptorSize = 18;
constexpr std::size_t descriptorCount = 4;
constexpr std::uint8_t monitorNameTag = 0xFC;
constexpr std::size_t textStart = 5;

}  // namespace

std::optional<std::string> edidMonitorName(std::span<const std::uint8_t> edid) {
    if (edid.size() < baseBlockSize || !std::equal(header.begin(), header.end(), edid.begin())) return std::nullopt;
    for (std::size_t index = 0; index < descriptorCount; ++index) {
        const auto descriptor = edid.subspan(firstDescriptor + index * descriptorSize, descriptorSize);
        // A display descriptor starts with a zero pixel clock; byte 3 says what it holds.
        if (descriptor[0] != 0 || descriptor[1] != 0 || descriptor[2] != 0 || descriptor[3] != monitorNameTag) continue;
        std::string name;
        for (const std::uint8_t byte : descriptor.subspan(textStart)) {
            if (byte == '\n' || byte == 0) break;
            // The text is printable ASCII; anything else would be a broken EDID.
            if (byte < 0x20 || byte > 0x7E) return std::nullopt;
            name.push_back(static_cast<char>(byte));
        }
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) return std::nullopt;
        return name;
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
