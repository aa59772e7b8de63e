#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "server/authorization/authorized_client_device.hpp"

namespace zentrabo {

// The certificate fingerprints of the paired devices, as the network threads
// see them: the main loop replaces the whole set whenever the paired devices
// change, and a connection asks about its own certificate right after
// its handshake, so it never reads the main loop's state.
class PairedFingerprints {
public:
    // On the main loop: the devices as published.
    void update(const std::vector<AuthorizedClientDevice>& devices);
    // From any thread: whether a connection's certificate belongs to a paired
    // device, fingerprints compared in their normalised form.
    bool contains(const std::optional<std::string>& fingerprint) const;

private:
    using Set = std::unordered_set<std::string>;

    // The device fingerprints the set was last built from, in list order:
    // a request's last-seen update assigns the list with them unchanged,
    // and then nothing is rebuilt. Main loop only.
    std::vector<std::string> source_;

    mutable std::mutex mutex_;
    // Replaced, never changed in place, so the lock covers only the swap and
    // the lookup.
    std::shared_ptr<const Set> fingerprints_ = std::make_shared<const Set>();
};

}  // namespace zentrabo
