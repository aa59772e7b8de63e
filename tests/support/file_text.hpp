#pragma once
// A file's whole content as text, read and written.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zentrabo::testing {

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace zentrabo::testing
