#include "platform/desktop/xdg_autostart_login_item.hpp"

#include <string>
#include <string_view>
#include <system_error>

#include "platform/desktop/desktop_entry_exec.hpp"
#include "platform/files/atomic_file.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/product_identity.hpp"
#include "platform/files/program_search.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// An entry is a few hundred bytes; a larger file is not ours to parse.
constexpr std::size_t maximumEntrySize = 64 * 1024;

std::filesystem::path comparable(const std::filesystem::path& path) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical;
}

}  // namespace

std::filesystem::path XdgAutostartLoginItem::entryPath() {
    return xdgConfigHome() / "autostart" / (productIdentity().programName + ".desktop");
}

std::optional<XdgAutostartLoginItem::Entry> XdgAutostartLoginItem::readEntry() {
    const BoundedFileRead read = readRegularFile(entryPath().string(), maximumEntrySize);
    if (read.status != BoundedFileRead::Status::ok) return std::nullopt;
    std::string_view rest(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    bool inMainGroup = false;
    Entry entry;
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
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") entry.startsAtLogin = false;
        if (line.starts_with("Exec=")) entry.program = desktopEntryExecProgram(std::string(line.substr(5)));
    }
    // The session looks a bare name up in $PATH.
    entry.found = findProgram(entry.program);
    return entry;
}

bool XdgAutostartLoginItem::isThisExecutable(const std::filesystem::path& program) const {
    return comparable(program) == comparable(executable_);
}

LoginItemStatus XdgAutostartLoginItem::status() {
    const auto entry = readEntry();
    if (!entry || !entry->startsAtLogin) return LoginItemStatus::notRegistered;
    if (!entry->found) return LoginItemStatus::notFound;
    if (!isThisExecutable(*entry->found)) return LoginItemStatus::notRegistered;
    return LoginItemStatus::enabled;
}

std::optional<std::string> XdgAutostartLoginItem::otherProgram() {
    const auto entry = readEntry();
    if (!entry || entry->program.empty()) return std::nullopt;
    // This program's own entry stays unnamed when its program is gone.
    const std::filesystem::path started = entry->found.value_or(entry->program);
    if (isThisExecutable(started)) return std::nullopt;
    return started.string();
}

std::optional<std::string> XdgAutostartLoginItem::registrationNote() {
    // A build tree has its CMakeCache.txt a few folders above the program.
    std::error_code error;
    for (auto folder = executable_.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
        if (std::filesystem::exists(folder / "CMakeCache.txt", error)) {
            return "The login item starts " + executable_.string() +
                   ", inside the build folder: a rebuild or a clean replaces it; run scripts/install.sh once to "
                   "have zentrabo-server installed for it";
        }
    }
    return std::nullopt;
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
    entry += "Exec=" + desktopEntryExecValue(executable_.string(), arguments_) + "\n";
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
