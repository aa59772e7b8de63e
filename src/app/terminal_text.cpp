#include "app/terminal_text.hpp"

#include <ctime>

#include "platform/store/store_failure.hpp"
#include "platform/text/log_escape.hpp"

namespace zentrabo {
namespace {

bool isBlankCharacter(char character) { return character == ' ' || character == '\t'; }

std::string_view skipBlanks(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlankCharacter(text[start])) ++start;
    return text.substr(start);
}

}  // namespace

std::string notSavedText(std::error_code error) { return notSavedText(platform::storeFailureReason(error)); }

std::string notSavedText(std::string_view reason) { return "Not saved: " + std::string(reason) + "."; }

std::pair<std::string_view, std::string_view> splitFirstWord(std::string_view text) {
    text = skipBlanks(text);
    std::size_t end = 0;
    while (end < text.size() && !isBlankCharacter(text[end])) ++end;
    return {text.substr(0, end), skipBlanks(text.substr(end))};
}

std::string echoed(std::string_view text, std::size_t maxCharacters) {
    return platform::escapeForLog(text, maxCharacters);
}

std::string formatDate(platform::Date date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date.systemTime());
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) return "unknown time";
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return length ? std::string(text, length) : std::string("unknown time");
}

std::string_view yesNo(bool value) { return value ? "yes" : "no"; }

std::string_view grantedText(bool value) { return value ? "granted" : "not granted"; }

std::string_view loginItemText(platform::LoginItemStatus status) {
    switch (status) {
    case platform::LoginItemStatus::notRegistered:
        return "not registered";
    case platform::LoginItemStatus::enabled:
        return "enabled";
    case platform::LoginItemStatus::requiresApproval:
        return "waiting for approval";
    case platform::LoginItemStatus::notFound:
        break;
    }
    return "not found";
}

std::string loginItemDescription(platform::LoginItemStatus status, const std::optional<std::string>& otherProgram) {
    std::string text(loginItemText(status));
    if (otherProgram) text += " (the entry starts " + echoed(*otherProgram, serverTextLength) + ")";
    return text;
}

std::string scopeList(const ExtraAuthorizationScopes& scopes) {
    if (scopes.empty()) return "none";
    std::string text;
    for (const auto scope : scopes) {
        if (!text.empty()) text += ", ";
        text += platform::rawValue(scope);
    }
    return text;
}

}  // namespace zentrabo
