#include "platform/files/program_search.hpp"

#include <system_error>

#include <unistd.h>

#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

bool isExecutableFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::filesystem::path> findProgram(const std::string& program) {
    if (program.empty()) return std::nullopt;
    if (program.find('/') != std::string::npos) {
        if (program[0] != '/' || !isExecutableFile(program)) return std::nullopt;
        return std::filesystem::path(program);
    }
    for (const auto& dir : colonSeparatedVariable("PATH")) {
        const auto candidate = std::filesystem::path(dir) / program;
        if (isExecutableFile(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
