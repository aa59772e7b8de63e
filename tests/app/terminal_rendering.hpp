#pragma once
// Terminal lines painted as a terminal would show them: half-block cells in
// the colours their escape sequences set, in a theme's own colours where
// they set none. A cell is one module wide and two tall.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/imaging/image.hpp"

namespace zentrabo::testing {

struct TerminalTheme {
    std::uint32_t foreground;  // 0xRRGGBB
    std::uint32_t background;
};
inline constexpr TerminalTheme lightTheme{0x202020, 0xfafafa};
inline constexpr TerminalTheme darkTheme{0xd0d0d0, 0x1e1e1e};

// A colour of the 256-colour palette above its 16 theme colours: the
// 6 x 6 x 6 cube, then 24 greys.
inline std::uint32_t paletteColour(unsigned index) {
    if (index >= 232) {
        const unsigned grey = 8 + (index - 232) * 10;
        return grey << 16 | grey << 8 | grey;
    }
    const unsigned cube = index - 16;
    const auto level = [](unsigned step) { return step == 0 ? 0u : 55 + step * 40; };
    return level(cube / 36) << 16 | level(cube / 6 % 6) << 8 | level(cube % 6);
}

// Paints the lines with a margin of `margin` cells of the theme's background,
// each module `scale` pixels square.
inline platform::RgbaImage renderTerminalLines(const std::vector<std::string>& lines, TerminalTheme theme,
                                               std::uint32_t scale = 4, std::uint32_t margin = 4) {
    struct Cell {
        std::uint32_t upper, lower;
    };
    std::vector<std::vector<Cell>> rows;
    std::size_t width = 0;
    for (const auto& line : lines) {
        std::uint32_t foreground = theme.foreground, background = theme.background;
        std::vector<Cell> row;
        for (std::string_view rest = line; !rest.empty();) {
            if (rest.starts_with("\x1b[")) {
                const auto end = rest.find('m');
                if (end == std::string_view::npos) {
                    ADD_FAILURE() << "unterminated escape sequence";
                    break;
                }
                std::vector<unsigned> codes;
                std::string_view parameters = rest.substr(2, end - 2);
                while (true) {
                    const auto separator = parameters.find(';');
                    codes.push_back(static_cast<unsigned>(std::stoul(std::string(parameters.substr(0, separator)))));
                    if (separator == std::string_view::npos) break;
                    parameters.remove_prefix(separator + 1);
                }
                for (std::size_t index = 0; index < codes.size(); ++index) {
                    if (codes[index] == 0) {
                        foreground = theme.foreground;
                        background = theme.background;
                    } else if ((codes[index] == 38 || codes[index] == 48) && index + 2 < codes.size() &&
                               codes[index + 1] == 5 && codes[index + 2] >= 16) {
                        (codes[index] == 38 ? foreground : background) = paletteColour(codes[index + 2]);
                        index += 2;
                    } else {
                        ADD_FAILURE() << "a colour this renderer cannot know: code " << codes[index];
                    }
                }
                rest.remove_prefix(end + 1);
            } else if (rest.starts_with("\u2588")) {
                row.push_back({foreground, foreground});
                rest.remove_prefix(3);
            } else if (rest.starts_with("\u2580")) {
                row.push_back({foreground, background});
                rest.remove_prefix(3);
            } else if (rest.starts_with("\u2584")) {
                row.push_back({background, foreground});
                rest.remove_prefix(3);
            } else {
                row.push_back({background, background});
                rest.remove_prefix(1);
            }
        }
        width = std::max(width, row.size());
        rows.push_back(std::move(row));
    }
    const auto pixelsWide = static_cast<std::uint32_t>((width + 2 * margin) * scale);
    const auto pixelsHigh = static_cast<std::uint32_t>((rows.size() + 2 * margin) * 2 * scale);
    platform::RgbaImage image(pixelsWide, pixelsHigh, theme.background << 8 | 0xff);
    const auto paint = [&](std::size_t column, std::size_t moduleRow, std::uint32_t colour) {
        for (std::uint32_t y = 0; y < scale; ++y) {
            for (std::uint32_t x = 0; x < scale; ++x) {
                auto* pixel = image.pixel(static_cast<std::uint32_t>((column + margin) * scale + x),
                                          static_cast<std::uint32_t>((moduleRow + 2 * margin) * scale + y));
                pixel[0] = static_cast<std::uint8_t>(colour >> 16);
                pixel[1] = static_cast<std::uint8_t>(colour >> 8);
                pixel[2] = static_cast<std::uint8_t>(colour);
                pixel[3] = 0xff;
            }
        }
    };
    for (std::size_t y = 0; y < rows.size(); ++y) {
        for (std::size_t x = 0; x < rows[y].size(); ++x) {
            paint(x, 2 * y, rows[y][x].upper);
            paint(x, 2 * y + 1, rows[y][x].lower);
        }
    }
    return image;
}

}  // namespace zentrabo::testing
