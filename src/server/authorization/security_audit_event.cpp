#include "server/authorization/security_audit_event.hpp"

#include <unicode/utf8.h>

#include <cstdint>
#include <utility>

#include "security/halvardine_security.hpp"

namespace zentrabo {
namespace {

// Byte offsets of the code points of a UTF-8 text, so that the short form
// never cuts a character in two.
std::vector<std::size_t> codePointOffsets(std::string_view text) {
    std::vector<std::size_t> offsets;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t offset = 0;
    while (offset < length) {
        offsets.push_back(static_cast<std::size_t>(offset));
        U8_FWD_1(bytes, offset, length);
    }
    return offsets;
}

}  // namespace

HalvardineSecurityAuditEvent makeSecurityAuditEvent(std::string message, std::optional<std::string> action,
                                                    std::optional<std::string_view> fingerprint, platform::Date now) {
    HalvardineSecurityAuditEvent event;
    event.id = platform::Uuid::random();
    event.date = now;
    event.message = std::move(message);
    event.action = std::move(action);
    if (fingerprint) event.fingerprint = HalvardineSecurity::normalizedFingerprint(*fingerprint);
    return event;
}

void insertNewestFirst(std::vector<HalvardineSecurityAuditEvent>& events, HalvardineSecurityAuditEvent event) {
    events.insert(events.begin(), std::move(event));
    if (events.size() > securityAuditEventLimit) events.resize(securityAuditEventLimit);
}

std::string securityAuditLogLine(const HalvardineSecurityAuditEvent& event) {
    std::string line = "Security: " + event.message;
    if (event.fingerprint) line += " [" + *event.fingerprint + "]";
    return line;
}

std::string displayFingerprint(std::string_view fingerprint) {
    std::string text = HalvardineSecurity::normalizedFingerprint(fingerprint).value_or(std::string(fingerprint));
    const std::vector<std::size_t> offsets = codePointOffsets(text);
    constexpr std::size_t shownAtEachEnd = 6;
    if (offsets.size() < 2 * shownAtEachEnd + 1) return text;
    return text.substr(0, offsets[shownAtEachEnd]) + "..." + text.substr(offsets[offsets.size() - shownAtEachEnd]);
}

}  // namespace zentrabo
