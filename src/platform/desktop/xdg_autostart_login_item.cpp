#include "platform/desktop/xdg_autostart_login_item.hpp"

#include <fstream>
#include <string>
#include <system_error>

#include "platform/files/atomic_file.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// An entry is a few hundred bytes; a larger file is not ours to parse.
constexpr std::uintmax_t maximumEntrySize = 64 * 1024;

// The Exec value: the program quoted as the desktop-entry format asks (inside
// double quotes, backslash before " ` $ and \), then the string escaping of
// the value itself (each backslash doubled) and field codes neutralised.
std::string execValue(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    return value;
}

}  // namespace

std::filesystem::path XdgAutostartLoginItem::entryPath() {
    return xdgConfigHome() / "autostart" / "zentrabo-server.desktop";
}

LoginItemStatus XdgAutostartLoginItem::status() {
    std::error_code error;
    const auto path = entryPath();
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > maximumEntrySize) return LoginItemStatus::notRegistered;
    std::ifstream file(path);
    bool inMainGroup = false;
    bool startsAtLogin = true;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") startsAtLogin = false;
    }
    if (!startsAtLogin) return LoginItemStatus::notRegistered;
    if (!std::filesystem::exists(executable_, error)) return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

void XdgAutostartLoginItem::registerItem() {
    std::error_code error;
    if (!std::filesystem::exists(executable_, error)) {
        throw LoginItemError("The server program " + executable_.string() + " does not exist.");
    }
    const auto path = entryPath();
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Zentrabo Server\n"
        "Comment=Makes this computer controllable from paired devices\n"
        "Exec=" + execValue(executable_.string()) + "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    try {
        std::filesystem::create_directories(path.parent_path());
        writeFileAtomically(path, entry, 0644);
    } catch (const std::exception& failure) {
        throw LoginItemError(std::string("The login item could not be registered: ") + failure.what());
    }
}

void XdgAutostartLoginItem::unregisterItem() {
    std::error_code error;
    std::filesystem::remove(entryPath(), error);
    if (error) throw LoginItemError("The login item could not be removed: " + error.message());
}

}  // namespace zentrabo::platform
