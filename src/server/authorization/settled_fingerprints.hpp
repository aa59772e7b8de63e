#pragma once

#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "server/authorization/authorized_client_device.hpp"

namespace zentrabo {

// The normalised fingerprints of the paired devices whose authorization on
// the main loop succeeded: their earlier failures are forgiven, and no new
// one is counted against a paired certificate, so until the device is
// revoked a network thread may take its certificate for authorized without
// asking the main loop. Written on the main loop, read from any thread.
class SettledFingerprints {
public:
    bool contains(const std::string& normalized) const {
        std::lock_guard guard(mutex_);
        return fingerprints_.contains(normalized);
    }
    void add(const std::string& normalized) {
        std::lock_guard guard(mutex_);
        fingerprints_.insert(normalized);
    }
    // Forgets every fingerprint no longer among the devices.
    void keepOnly(const std::vector<AuthorizedClientDevice>& devices) {
        std::lock_guard guard(mutex_);
        std::erase_if(fingerprints_, [&](const std::string& fingerprint) {
            for (const auto& device : devices) {
                if (device.certificateFingerprint == fingerprint) return false;
            }
            return true;
        });
    }

private:
    mutable std::mutex mutex_;
    std::unordered_set<std::string> fingerprints_;
};

}  // namespace zentrabo
