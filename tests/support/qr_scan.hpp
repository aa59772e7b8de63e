#pragma once
// Reads QR codes back the way a camera app would: zbarimg on a PNG file.
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace zentrabo::testing {

// The raw text of every QR code zbarimg finds in the PNG file, each ended by
// a line feed; "" when it finds none.
inline std::string scanQRCode(const std::filesystem::path& png) {
    const std::string command = "zbarimg --quiet --raw -Sbinary '" + png.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 4096> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get())) output += buffer.data();
    return output;
}

}  // namespace zentrabo::testing
