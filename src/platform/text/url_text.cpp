#include "platform/text/url_text.hpp"

#include "platform/text/utf8.hpp"

namespace zentrabo::platform {

namespace {

bool isASCIILetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isASCIIDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isASCIIDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isForbidden(unsigned char c) {
    if (c <= 0x20 || c == 0x7F) return true;
    switch (c) {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return false;
    }
}

std::optional<std::string> schemeOf(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view candidate = text.substr(0, colon);
    if (candidate.empty()) return std::string();
    if (!isASCIILetter(candidate.front())) return std::nullopt;
    for (char c : candidate) {
        if (!isASCIILetter(c) && !isASCIIDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
    return std::string(candidate);
}

}  // namespace

std::optional<URLText> parseURLText(std::string_view text) {
    if (text.empty() || !isValidUtf8(text)) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isForbidden(c)) return std::nullopt;
        if (c == '%' && (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))) {
            return std::nullopt;
        }
    }
    return URLText{schemeOf(text)};
}

}  // namespace zentrabo::platform
