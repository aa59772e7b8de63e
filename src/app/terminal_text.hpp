#pragma once
// Small text helpers of the terminal front: splitting a command line into
// words, echoing typed text safely, and the forms of dates, flags and scope
// sets in its output.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/dispatch/date.hpp"
#include "platform/desktop/login_item.hpp"
#include "server/extra_authorization/extra_authorization.hpp"

namespace zentrabo {

// The first word of the text (split at spaces and tabs) and the rest after
// the blanks that follow it.
std::pair<std::string_view, std::string_view> splitFirstWord(std::string_view text);

// Typed or peer text as it may appear in one output line: control
// characters escaped, at most maxCharacters characters.
inline constexpr std::size_t echoedTextLength = 60;
// The server's own texts (audit messages, relay status) are longer.
inline constexpr std::size_t serverTextLength = 400;
std::string echoed(std::string_view text, std::size_t maxCharacters = echoedTextLength);

// "Not saved: no space left on the device." for a setting that could not
// be stored and so did not change.
std::string notSavedText(std::error_code error);
// The same with the reason already in words.
std::string notSavedText(std::string_view reason);

// "2026-12-07 08:15:00 UTC".
std::string formatDate(platform::Date date);

std::string_view yesNo(bool value);
std::string_view grantedText(bool value);
// "not registered", "enabled", "waiting for approval", "not found".
std::string_view loginItemText(platform::LoginItemStatus status);
// What the user can do while accessibility is off.
inline constexpr std::string_view accessibilityOffHint = "menus, dialogs and keys need it; type request accessibility";
// The status with the program of an entry that is not this server's.
std::string loginItemDescription(platform::LoginItemStatus status, const std::optional<std::string>& otherProgram);

// "files, stream" in the order of the scopes, "none" for an empty set.
std::string scopeList(const ExtraAuthorizationScopes& scopes);

}  // namespace zentrabo
