#pragma once
// Starting the server when the user logs in.
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
};

}  // namespace zentrabo::platform
