#pragma once
// The login item as an XDG autostart entry:
// $XDG_CONFIG_HOME/autostart/<program name>.desktop starts the executable
// when the user's desktop session begins; its name and comment are the
// program's display name and description (ProductIdentity).
#include <filesystem>

#include "platform/desktop/login_item.hpp"

namespace zentrabo::platform {

class XdgAutostartLoginItem final : public LoginItem {
public:
    explicit XdgAutostartLoginItem(std::filesystem::path executable) : executable_(std::move(executable)) {}

    // The entry's place, from the environment at each call.
    static std::filesystem::path entryPath();

    // enabled when an entry exists that the session would start (not Hidden,
    // not switched off); notFound when the executable it would start is
    // missing; notRegistered otherwise.
    LoginItemStatus status() override;
    void registerItem() override;
    // Removing an entry that is not there succeeds.
    void unregisterItem() override;

private:
    std::filesystem::path executable_;
};

}  // namespace zentrabo::platform
