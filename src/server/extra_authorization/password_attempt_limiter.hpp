#pragma once
// The failure limiter as the password checks use it. A check takes a key
// derivation's time, and several may run at once; counting only finished
// failures would let a burst of simultaneous guesses all be tested before the
// first of them is recorded. So checks still running under a key count
// against its lockout like failures: a burst gets no more checks than guesses
// sent one after another would. With nothing running it is the limiter
// itself.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/dispatch/clock.hpp"
#include "server/authorization/security_failure_limiter.hpp"

namespace zentrabo {

class PasswordAttemptLimiter {
public:
    // The limiter is shared with client authorization and must outlive this.
    explicit PasswordAttemptLimiter(SecurityFailureLimiter& failures) : failures_(failures) {}

    bool isBlocked(std::string_view key, platform::Date now);

    // A check of a password under the key starts and ends. Every start has
    // exactly one end.
    void checkStarted(std::string_view key);
    void checkFinished(std::string_view key);

    // A wrong or missing password; the number of failures of the key in the
    // window, this one included.
    std::size_t recordFailure(std::string_view key, platform::Date now) { return failures_.recordFailure(key, now); }
    // A right password forgives the key's earlier failures.
    void forget(std::string_view key) { failures_.forget(key); }

    std::size_t runningChecks(std::string_view key) const;

private:
    SecurityFailureLimiter& failures_;
    // Only keys with a check running; a handful of fixed keys at most.
    std::unordered_map<std::string, std::size_t> running_;
};

}  // namespace zentrabo
