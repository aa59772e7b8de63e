#pragma once
// Starting the server when the user logs in.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/text/string_enum.hpp"

namespace zentrabo::platform {

enum class LoginItemStatus { notRegistered, enabled, requiresApproval, notFound };
template <>
struct StringEnumTraits<LoginItemStatus> : RawValues<"notRegistered", "enabled", "requiresApproval", "notFound"> {};

class LoginItemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual LoginItemStatus status() = 0;
    // Both throw LoginItemError when the change cannot be made.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;

    // The program an existing entry starts when that is not this server
    // (an older copy elsewhere, one since deleted); registering replaces it.
    virtual std::optional<std::string> otherProgram() { return std::nullopt; }
    // What the user should know about an entry registered from here (that
    // it starts a program a rebuild replaces, say); none when nothing.
    virtual std::optional<std::string> registrationNote() { return std::nullopt; }
};

}  // namespace zentrabo::platform
