#include "server/authorization/security_failure_limiter.hpp"

#include <algorithm>
#include <iterator>

namespace zentrabo {
namespace {

// A sweep runs once the map has grown by this many keys, or doubled, since
// the last one: linear work spread over at least as many insertions.
constexpr std::size_t minimumGrowthBeforeSweep = 64;

}  // namespace

void SecurityFailureLimiter::prune(Times& times, platform::Date now) {
    // Oldest first: the expired ones are a prefix.
    while (!times.empty() && now - times.front() > window) times.pop_front();
}

bool SecurityFailureLimiter::isBlocked(std::string_view key, platform::Date now) {
    return failureCount(key, now) >= blockThreshold;
}

std::size_t SecurityFailureLimiter::failureCount(std::string_view key, platform::Date now) {
    const auto found = failures_.find(std::string(key));
    if (found == failures_.end()) return 0;
    prune(found->second, now);
    const std::size_t count = found->second.size();
    if (count == 0) failures_.erase(found);
    return count;
}

std::size_t SecurityFailureLimiter::recordFailure(std::string_view key, platform::Date now) {
    auto [entry, inserted] = failures_.try_emplace(std::string(key));
    Times& times = entry->second;
    prune(times, now);
    times.push_back(now);
    const std::size_t count = times.size();
    if (inserted) sweepIfGrown(now);
    return count;
}

void SecurityFailureLimiter::forget(std::string_view key) { failures_.erase(std::string(key)); }

void SecurityFailureLimiter::sweepIfGrown(platform::Date now) {
    const std::size_t growth = std::max(minimumGrowthBeforeSweep, sizeAfterLastSweep_);
    if (failures_.size() < sizeAfterLastSweep_ + growth) return;
    for (auto entry = failures_.begin(); entry != failures_.end();) {
        prune(entry->second, now);
        entry = entry->second.empty() ? failures_.erase(entry) : std::next(entry);
    }
    sizeAfterLastSweep_ = failures_.size();
}

}  // namespace zentrabo
