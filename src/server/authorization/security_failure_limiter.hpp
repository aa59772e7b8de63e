#pragma once
// Counts security failures (unpaired or missing client certificates, wrong
// extra-authorization passwords) per key in a sliding window and blocks a key
// that collected too many. Client authorization and the password checks share
// one limiter, each under keys of its own.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/dispatch/clock.hpp"

namespace zentrabo {

class SecurityFailureLimiter {
public:
    // A failure counts while (now - its time) <= window.
    static constexpr double window = 60.0;
    // Blocked from this many failures in the window on.
    static constexpr std::size_t blockThreshold = 8;
    // Appended to the audit entry of the failure that reaches the threshold.
    static constexpr std::string_view blockNotice = " Further requests are temporarily blocked.";
    // The audit entry of a failure that made failureCount in the window.
    static std::string withBlockNotice(std::string message, std::size_t failureCount) {
        if (failureCount >= blockThreshold) message += blockNotice;
        return message;
    }

    // Forgets the failures that have left the window and tells whether the
    // key is blocked at `now`. Creates no entry for an unknown key.
    bool isBlocked(std::string_view key, platform::Date now);

    // Forgets the failures that have left the window and tells how many of
    // the key's failures remain in it at `now`.
    std::size_t failureCount(std::string_view key, platform::Date now);

    // Records a failure at `now`; returns how many failures of the key lie
    // in the window, this one included.
    std::size_t recordFailure(std::string_view key, platform::Date now);

    // Forgets every failure of the key (a successful authorization).
    void forget(std::string_view key);

    // Keys currently held; for tests of the memory bound.
    std::size_t keyCount() const { return failures_.size(); }

private:
    using Times = std::deque<platform::Date>;

    // Drops times that left the window; a list that becomes empty leaves the
    // map, so keys nobody repeats cannot pile up.
    static void prune(Times& times, platform::Date now);
    // Visits every key once in a while, so a peer minting a new certificate
    // per connection cannot grow the map without end.
    void sweepIfGrown(platform::Date now);

    std::unordered_map<std::string, Times> failures_;
    std::size_t sizeAfterLastSweep_ = 0;
};

}  // namespace zentrabo
