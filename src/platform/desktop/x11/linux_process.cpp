#include "platform/desktop/x11/linux_process.hpp"

#include <charconv>
#include <fstream>
#include <sstream>

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

}  // namespace

LinuxProcess linuxProcess(ProcessID pid) {
    if (pid <= 0) return {pid, std::nullopt};
    // "pid (name) state ppid ...": the name may hold spaces and parentheses,
    // so the fields are counted from the last ')'; the start time is field 22.
    const std::string stat = procFile(pid, "stat");
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return {pid, std::nullopt};
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number <= 22 && fields >> field; ++number) {
        if (number != 22) continue;
        std::uint64_t ticks = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), ticks);
        if (error == std::errc() && end == field.data() + field.size()) return {pid, ticks};
    }
    return {pid, std::nullopt};
}

std::string processName(ProcessID pid) {
    if (pid <= 0) return {};
    std::string name = procFile(pid, "comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

}  // namespace zentrabo::platform
