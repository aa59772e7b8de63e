#pragma once
// The security audit log the user reads: pairing, refused and blocked
// requests, extra-authorization events. Kept in memory, newest first.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/clock.hpp"
#include "server/authorization/security_audit_event.hpp"
#include "server/published.hpp"

namespace zentrabo {

class SecurityAuditLog {
public:
    // The clock dates the events; it must outlive the log.
    explicit SecurityAuditLog(platform::Clock& clock) : clock_(clock) {}
    SecurityAuditLog(const SecurityAuditLog&) = delete;
    SecurityAuditLog& operator=(const SecurityAuditLog&) = delete;

    const Published<std::vector<HalvardineSecurityAuditEvent>>& securityAuditEvents() const {
        return securityAuditEvents_;
    }

    // Puts a new event first (the fingerprint normalised, the oldest beyond
    // the limit dropped) and writes it to the diagnostic log.
    void recordSecurityEvent(std::string message, std::optional<std::string> action,
                             std::optional<std::string_view> fingerprint);

private:
    platform::Clock& clock_;
    Published<std::vector<HalvardineSecurityAuditEvent>> securityAuditEvents_;
};

}  // namespace zentrabo
