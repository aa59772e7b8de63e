#pragma once
// .icns files built by the tests themselves: entries of each encoding the
// reader knows, packed the way the format packs them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/binary/big_endian.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/png_codec.hpp"

namespace zentrabo::test {

struct IcnsEntry {
    std::string type;  // four characters
    std::vector<std::uint8_t> data;
};

// The container: "icns", the whole length, then each entry with its type and
// length (both lengths count their own eight header bytes).
inline std::vector<std::uint8_t> icnsFile(const std::vector<IcnsEntry>& entries) {
    std::vector<std::uint8_t> body;
    for (const auto& entry : entries) {
        body.insert(body.end(), entry.type.begin(), entry.type.end());
        platform::appendBigEndian<std::uint32_t>(body, static_cast<std::uint32_t>(entry.data.size() + 8));
        body.insert(body.end(), entry.data.begin(), entry.data.end());
    }
    std::vector<std::uint8_t> file = {'i', 'c', 'n', 's'};
    platform::appendBigEndian<std::uint32_t>(file, static_cast<std::uint32_t>(body.size() + 8));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// One channel of the format's run-length code: runs of three to 130 equal
// bytes as 125 + length and the byte, everything else as literal stretches
// of up to 128 bytes after length - 1.
inline void packChannel(const platform::RgbaImage& image, std::size_t channel, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> values;
    for (std::size_t index = channel; index < image.pixels.size(); index += 4) values.push_back(image.pixels[index]);
    std::size_t position = 0;
    const auto runAt = [&values](std::size_t start) {
        std::size_t length = 1;
        while (start + length < values.size() && values[start + length] == values[start] && length < 130) ++length;
        return length;
    };
    while (position < values.size()) {
        if (const std::size_t run = runAt(position); run >= 3) {
            out.push_back(static_cast<std::uint8_t>(run + 125));
            out.push_back(values[position]);
            position += run;
            continue;
        }
        std::size_t length = 0;
        while (position + length < values.size() && length < 128 && (length == 0 || runAt(position + length) < 3)) {
            ++length;
        }
        out.push_back(static_cast<std::uint8_t>(length - 1));
        out.insert(out.end(), values.begin() + position, values.begin() + position + length);
        position += length;
    }
}

inline IcnsEntry pngEntry(std::string type, const platform::RgbaImage& image) {
    return {std::move(type), platform::encodePng(image)};
}

// "ARGB", then the alpha, red, green and blue channels.
inline IcnsEntry argbEntry(std::string type, const platform::RgbaImage& image) {
    IcnsEntry entry{std::move(type), {'A', 'R', 'G', 'B'}};
    for (std::size_t channel : {3, 0, 1, 2}) packChannel(image, channel, entry.data);
    return entry;
}

// The red, green and blue channels after leadingBytes zero bytes.
inline IcnsEntry runLengthEntry(std::string type, const platform::RgbaImage& image, std::size_t leadingBytes = 0) {
    IcnsEntry entry{std::move(type), std::vector<std::uint8_t>(leadingBytes, 0)};
    for (std::size_t channel : {0, 1, 2}) packChannel(image, channel, entry.data);
    return entry;
}

// The alpha channel as it is.
inline IcnsEntry maskEntry(std::string type, const platform::RgbaImage& image) {
    IcnsEntry entry{std::move(type), {}};
    for (std::size_t index = 3; index < image.pixels.size(); index += 4) entry.data.push_back(image.pixels[index]);
    return entry;
}

// A picture where every pixel differs from its neighbours in some channel
// and alpha varies, so a decoding slip shows.
inline platform::RgbaImage patternedPicture(std::uint32_t width, std::uint32_t height) {
    platform::RgbaImage image(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 16);
            pixel[1] = static_cast<std::uint8_t>(y * 16);
            pixel[2] = x < width / 2 ? 200 : 40;  // long runs for the repeat code
            pixel[3] = static_cast<std::uint8_t>(255 - (x + y) * 3);
        }
    }
    return image;
}

}  // namespace zentrabo::test
