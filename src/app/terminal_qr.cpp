#include "app/terminal_qr.hpp"

#include <string_view>

namespace zentrabo {
namespace {

// Black ink on a white ground from the 256-colour palette's fixed cube
// (16 is #000000, 231 is #ffffff): unlike the 16 basic colours, which
// terminal themes redefine, these look the same in every theme.
constexpr std::string_view codeColours = "\x1b[38;5;16;48;5;231m";
constexpr std::string_view resetColours = "\x1b[0m";

constexpr std::string_view bothDark = "\u2588";   // full block
constexpr std::string_view upperDark = "\u2580";  // upper half block
constexpr std::string_view lowerDark = "\u2584";  // lower half block
constexpr std::string_view bothLight = " ";

std::string_view cell(bool upper, bool lower) {
    if (upper) return lower ? bothDark : upperDark;
    return lower ? lowerDark : bothLight;
}

}  // namespace

std::vector<std::string> drawQrCode(const platform::QrCode& code) {
    std::vector<std::string> lines;
    for (std::uint32_t y = 0; y < code.size(); y += 2) {
        std::string line(codeColours);
        for (std::uint32_t x = 0; x < code.size(); ++x) line += cell(code.isDark(x, y), code.isDark(x, y + 1));
        line += resetColours;
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace zentrabo
