#include "platform/desktop/processes/linux_process.hpp"

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

namespace zentrabo::platform {

namespace {

// /proc files are small and never block; the bound keeps a strange one from
// being read whole.
constexpr std::streamsize maximumLength = 4096;

std::string procFile(ProcessID pid, const char* name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    std::string text(maximumLength, '\0');
    file.read(text.data(), maximumLength);
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

// Deeper process trees than this are not followed.
constexpr int maximumAncestry = 256;

// Field `wanted` (counted from 1) of /proc/<pid>/stat as a number. The
// line is "pid (name) state ppid ...": the name may hold spaces and
// parentheses, so the fields are counted from the last ')'.
std::optional<std::uint64_t> statNumber(ProcessID pid, int wanted) {
    if (pid <= 0) return std::nullopt;
    const std::string stat = procFile(pid, "stat");
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number <= wanted && fields >> field; ++number) {
        if (number != wanted) continue;
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error == std::errc() && end == field.data() + field.size()) return value;
    }
    return std::nullopt;
}

}  // namespace

LinuxProcess linuxProcess(ProcessID pid) {
    // The start time is field 22.
    return {pid, statNumber(pid, 22)};
}

ProcessID parentProcess(ProcessID pid) {
    const auto parent = statNumber(pid, 4);
    return parent && *parent <= static_cast<std::uint64_t>(std::numeric_limits<ProcessID>::max())
               ? static_cast<ProcessID>(*parent)
               : 0;
}

bool isProcessOrDescendant(ProcessID pid, ProcessID ancestor, const std::function<ProcessID(ProcessID)>& parentOf) {
    if (pid <= 0 || ancestor <= 0) return false;
    for (int step = 0; step < maximumAncestry && pid > 0; ++step) {
        if (pid == ancestor) return true;
        pid = parentOf(pid);
    }
    return false;
}

std::string processName(ProcessID pid) {
    if (pid <= 0) return {};
    std::string name = procFile(pid, "comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::optional<std::filesystem::path> processExecutable(ProcessID pid) {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (error) return std::nullopt;
    return path;
}

}  // namespace zentrabo::platform
