#include "platform/text/percent_encoding.hpp"

#include <string_view>

namespace zentrabo::platform {

namespace {

bool staysUnencoded(unsigned char c) {
    constexpr std::string_view punctuation = "-._~!$'()*+,;:@/?";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           punctuation.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string percentEncodeQueryValue(std::string_view text) {
    constexpr char hexDigits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char raw : text) {
        const auto c = static_cast<unsigned char>(raw);
        if (staysUnencoded(c)) {
            result.push_back(raw);
        } else {
            result.push_back('%');
            result.push_back(hexDigits[c >> 4]);
            result.push_back(hexDigits[c & 0x0F]);
        }
    }
    return result;
}

}  // namespace zentrabo::platform
