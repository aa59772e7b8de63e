#include "server/authorization/security_audit_log.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"

namespace zentrabo {

void SecurityAuditLog::recordSecurityEvent(std::string message, std::optional<std::string> action,
                                           std::optional<std::string_view> fingerprint) {
    auto event = makeSecurityAuditEvent(std::move(message), std::move(action), fingerprint, clock_.now());
    const std::string line = securityAuditLogLine(event);
    auto events = *securityAuditEvents_;
    insertNewestFirst(events, std::move(event));
    securityAuditEvents_.set(std::move(events));
    ZENTRABO_LOG(line);
}

}  // namespace zentrabo
