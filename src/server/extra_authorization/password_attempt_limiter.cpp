#include "server/extra_authorization/password_attempt_limiter.hpp"

namespace zentrabo {

bool PasswordAttemptLimiter::isBlocked(std::string_view key, platform::Date now) {
    return failures_.failureCount(key, now) + runningChecks(key) >= SecurityFailureLimiter::blockThreshold;
}

void PasswordAttemptLimiter::checkStarted(std::string_view key) { ++running_[std::string(key)]; }

void PasswordAttemptLimiter::checkFinished(std::string_view key) {
    const auto found = running_.find(std::string(key));
    if (found == running_.end()) return;
    if (--found->second == 0) running_.erase(found);
}

std::size_t PasswordAttemptLimiter::runningChecks(std::string_view key) const {
    const auto found = running_.find(std::string(key));
    return found == running_.end() ? 0 : found->second;
}

}  // namespace zentrabo
