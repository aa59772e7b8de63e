#include "app/terminal_qr.hpp"

#include <string_view>

namespace zentrabo {
namespace {

constexpr std::string_view bothLight = "\u2588";   // full block
constexpr std::string_view upperLight = "\u2580";  // upper half block
constexpr std::string_view lowerLight = "\u2584";  // lower half block
constexpr std::string_view bothDark = " ";

std::string_view cell(bool upperDark, bool lowerDark) {
    if (upperDark) return lowerDark ? bothDark : lowerLight;
    return lowerDark ? upperLight : bothLight;
}

}  // namespace

std::vector<std::string> drawQrCode(const platform::QrCode& code) {
    std::vector<std::string> lines;
    for (std::uint32_t y = 0; y < code.size(); y += 2) {
        std::string line;
        for (std::uint32_t x = 0; x < code.size(); ++x) line += cell(code.isDark(x, y), code.isDark(x, y + 1));
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace zentrabo
