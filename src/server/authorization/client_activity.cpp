#include "server/authorization/client_activity.hpp"

#include <utility>

namespace zentrabo {

ClientActivityTracker::ClientActivityTracker(platform::Clock& clock, asio::any_io_executor executor,
                                             std::function<void()> changed)
    : clock_(clock), executor_(std::move(executor)), changed_(std::move(changed)) {}

void ClientActivityTracker::mark(const std::string& fingerprint,
                                 std::optional<HalvardineExtraAuthorizationChannel> channel) {
    fingerprints_.insert(fingerprint);
    if (channel) channels_[fingerprint] = *channel;
    // Assigning the new timer cancels the pending one.
    expiries_[fingerprint] = clock_.schedule(executor_, holdTime, [this, fingerprint] { clear(fingerprint); });
    changed_();
}

void ClientActivityTracker::clear(const std::string& fingerprint) {
    fingerprints_.erase(fingerprint);
    channels_.erase(fingerprint);
    // Taken out before it is destroyed: this may run inside that very timer.
    if (auto node = expiries_.extract(fingerprint)) node.mapped().cancel();
    changed_();
}

}  // namespace zentrabo
