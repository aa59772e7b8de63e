#include "platform/desktop/xdg_autostart_login_item.hpp"

#include <string>
#include <string_view>
#include <system_error>

#include "platform/files/atomic_file.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/product_identity.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// An entry is a few hundred bytes; a larger file is not ours to parse.
constexpr std::size_t maximumEntrySize = 64 * 1024;

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
    return xdgConfigHome() / "autostart" / (productIdentity().programName + ".desktop");
}

LoginItemStatus XdgAutostartLoginItem::status() {
    const BoundedFileRead read = readRegularFile(entryPath().string(), maximumEntrySize);
    if (read.status != BoundedFileRead::Status::ok) return LoginItemStatus::notRegistered;
    std::string_view rest(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    bool inMainGroup = false;
    bool startsAtLogin = true;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") startsAtLogin = false;
    }
    if (!startsAtLogin) return LoginItemStatus::notRegistered;
    std::error_code error;
    if (!std::filesystem::exists(executable_, error)) return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

void XdgAutostartLoginItem::registerItem() {
    std::error_code error;
    if (!std::filesystem::exists(executable_, error)) {
        throw LoginItemError("The server program " + executable_.string() + " does not exist.");
    }
    const auto path = entryPath();
    const ProductIdentity identity = productIdentity();
    std::string entry = "[Desktop Entry]\nType=Application\n";
    entry += "Name=" + identity.displayName + "\n";
    entry += "Comment=" + identity.description + "\n";
    entry += "Exec=" + execValue(executable_.string()) + "\n";
    entry += "Terminal=false\nX-GNOME-Autostart-enabled=true\n";
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
