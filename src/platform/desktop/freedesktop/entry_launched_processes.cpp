#include "platform/desktop/freedesktop/entry_launched_processes.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <string>

namespace zentrabo::platform {

namespace {

constexpr std::string_view fileVariable = "GIO_LAUNCHED_DESKTOP_FILE=";
constexpr std::string_view pidVariable = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
// An environment is rarely above a few KiB; one larger is read this far.
constexpr std::streamsize maximumEnvironment = 256 * 1024;
// More processes than this in /proc are not looked at.
constexpr std::size_t maximumProcesses = 65536;

std::string environmentOf(ProcessID pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::string text(maximumEnvironment, '\0');
    file.read(text.data(), maximumEnvironment);
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

std::optional<ProcessID> pidOfDirectory(const std::string& name) {
    ProcessID pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid <= 0) return std::nullopt;
    return pid;
}

}  // namespace

std::optional<std::filesystem::path> launchedEntryFile(std::string_view environment, ProcessID pid) {
    std::optional<std::string_view> file;
    bool launchedThis = false;
    while (!environment.empty()) {
        const auto end = environment.find('\0');
        const std::string_view item = environment.substr(0, end);
        environment.remove_prefix(end == std::string_view::npos ? environment.size() : end + 1);
        if (item.starts_with(fileVariable)) {
            file = item.substr(fileVariable.size());
        } else if (item.starts_with(pidVariable)) {
            const std::string_view number = item.substr(pidVariable.size());
            ProcessID launched = 0;
            const auto [last, error] = std::from_chars(number.data(), number.data() + number.size(), launched);
            launchedThis = error == std::errc() && last == number.data() + number.size() && launched == pid;
        }
    }
    if (!launchedThis || !file || !file->starts_with('/')) return std::nullopt;
    return std::filesystem::path(*file);
}

std::map<ProcessID, std::filesystem::path> EntryLaunchedProcesses::scan() {
    std::map<ProcessID, Seen> now;
    std::error_code error;
    std::size_t looked = 0;
    const uid_t user = getuid();
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end && looked < maximumProcesses;
         it.increment(error), ++looked) {
        const auto pid = pidOfDirectory(it->path().filename().string());
        struct stat status {};
        if (!pid || ::stat(it->path().c_str(), &status) != 0 || status.st_uid != user) continue;
        const LinuxProcess process = linuxProcess(*pid);
        if (!process.startTime) continue;
        if (const auto known = seen_.find(*pid); known != seen_.end() && known->second.process == process) {
            now.emplace(*pid, std::move(known->second));
        } else {
            now.emplace(*pid, Seen{process, launchedEntryFile(environmentOf(*pid), *pid)});
        }
    }
    seen_ = std::move(now);
    std::map<ProcessID, std::filesystem::path> launched;
    for (const auto& [pid, seen] : seen_) {
        if (seen.entryFile) launched.emplace(pid, *seen.entryFile);
    }
    return launched;
}

}  // namespace zentrabo::platform
