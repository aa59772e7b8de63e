#pragma once
// The login item as an XDG autostart entry:
// $XDG_CONFIG_HOME/autostart/<program name>.desktop starts the executable,
// with the arguments the server was started with that choose what it
// controls, when the user's desktop session begins; its name and comment are
// the program's display name and description (ProductIdentity).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/login_item.hpp"

namespace zentrabo::platform {

class XdgAutostartLoginItem final : public LoginItem {
public:
    XdgAutostartLoginItem(std::filesystem::path executable, std::vector<std::string> arguments = {})
        : executable_(std::move(executable)), arguments_(std::move(arguments)) {}

    // The entry's place, from the environment at each call.
    static std::filesystem::path entryPath();

    // enabled when an entry exists that the session would start (not Hidden,
    // not switched off) and its Exec starts this executable; notFound when
    // the program of its Exec (a bare name looked up in $PATH) is missing or
    // not executable; notRegistered otherwise, an entry starting another
    // program included.
    LoginItemStatus status() override;
    void registerItem() override;
    // Removing an entry that is not there succeeds.
    void unregisterItem() override;
    std::optional<std::string> otherProgram() override;
    // Says so when the executable lies in a CMake build tree.
    std::optional<std::string> registrationNote() override;

private:
    struct Entry {
        bool startsAtLogin = true;
        std::string program;  // of its Exec; empty when it has none
        // Where that program is, when it can be started; a bare name is
        // looked up in $PATH.
        std::optional<std::filesystem::path> found;
    };
    // None when there is no entry that can be read.
    static std::optional<Entry> readEntry();
    bool isThisExecutable(const std::filesystem::path& program) const;

    std::filesystem::path executable_;
    std::vector<std::string> arguments_;
};

}  // namespace zentrabo::platform
