#pragma once
// The security audit log: the latest security-relevant events (pairing
// started and refused, devices paired, requests rejected or blocked,
// extra-authorization events), newest first, kept in memory only.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/date.hpp"
#include "platform/random/uuid.hpp"

namespace zentrabo {

struct HalvardineSecurityAuditEvent {
    // Random, made when the event is recorded.
    platform::Uuid id;
    platform::Date date;
    std::string message;
    // The request action or operation ("pair"); none for client authorization.
    std::optional<std::string> action;
    // Normalised; none when absent or empty.
    std::optional<std::string> fingerprint;

    friend bool operator==(const HalvardineSecurityAuditEvent&, const HalvardineSecurityAuditEvent&) = default;
};

inline constexpr std::size_t securityAuditEventLimit = 80;

// A new event with a fresh id; the fingerprint is normalised here.
HalvardineSecurityAuditEvent makeSecurityAuditEvent(std::string message, std::optional<std::string> action,
                                                    std::optional<std::string_view> fingerprint, platform::Date now);

// Puts the event first and drops the oldest beyond the limit.
void insertNewestFirst(std::vector<HalvardineSecurityAuditEvent>& events, HalvardineSecurityAuditEvent event);

// "Security: <message>", then " [<fingerprint>]" when the event has one.
std::string securityAuditLogLine(const HalvardineSecurityAuditEvent& event);

// The short form of a fingerprint in audit texts: normalised (the text as
// given when that leaves nothing), whole below 13 characters, else its first
// 6 characters, "..." and its last 6.
std::string displayFingerprint(std::string_view fingerprint);

}  // namespace zentrabo
