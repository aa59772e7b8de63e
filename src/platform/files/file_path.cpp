#include "platform/files/file_path.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace zentrabo::platform {

namespace {

// The password database's home folder of a user; "" when unknown.
std::string passwordDatabaseHome(const char* userName) {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    const int status = userName == nullptr ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                                           : getpwnam_r(userName, &entry, buffer.data(), buffer.size(), &found);
    if (status != 0 || found == nullptr || found->pw_dir == nullptr) return {};
    return found->pw_dir;
}

}  // namespace

std::string homeFolderPath() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return standardizedPathText(home);
    }
    std::string home = passwordDatabaseHome(nullptr);
    return home.empty() ? std::string("/") : standardizedPathText(home);
}

std::string expandingTildeInPath(std::string_view path) {
    if (path.empty() || path.front() != '~') return std::string(path);
    const std::size_t slash = path.find('/');
    const std::string_view user = path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    std::string home = user.empty() ? homeFolderPath() : passwordDatabaseHome(std::string(user).c_str());
    if (home.empty()) return std::string(path);
    if (slash == std::string_view::npos) return standardizedPathText(home);
    return standardizedPathText(home + std::string(path.substr(slash)));
}

std::string standardizedPathText(std::string_view path) {
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !result.empty() && result.back() == '/') continue;
        result.push_back(c);
    }
    if (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string lastPathComponent(std::string_view path) {
    const std::string text = standardizedPathText(path);
    if (text == "/") return text;
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string deletingLastPathComponent(std::string_view path) {
    const std::string text = standardizedPathText(path);
    const std::size_t slash = text.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return text.substr(0, slash);
}

std::string appendingPathComponent(std::string_view folder, std::string_view component) {
    std::string result(folder);
    if (result.empty() || result.back() != '/') result.push_back('/');
    result.append(component);
    return standardizedPathText(result);
}

std::string lowercasePathExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.find('/', dot) != std::string_view::npos) return {};
    std::string extension(name.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

}  // namespace zentrabo::platform
