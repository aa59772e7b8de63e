#include "server/connection/paired_fingerprints.hpp"

#include <algorithm>

#include "security/halvardine_security.hpp"

namespace zentrabo {

void PairedFingerprints::update(const std::vector<AuthorizedClientDevice>& devices) {
    const auto sameFingerprint = [](const AuthorizedClientDevice& device, const std::string& fingerprint) {
        return device.certificateFingerprint == fingerprint;
    };
    if (std::equal(devices.begin(), devices.end(), source_.begin(), source_.end(), sameFingerprint)) return;
    source_.clear();
    Set fingerprints;
    for (const auto& device : devices) {
        source_.push_back(device.certificateFingerprint);
        if (auto normalized = HalvardineSecurity::normalizedFingerprint(device.certificateFingerprint)) {
            fingerprints.insert(std::move(*normalized));
        }
    }
    auto next = std::make_shared<const Set>(std::move(fingerprints));
    std::lock_guard guard(mutex_);
    fingerprints_.swap(next);
}

bool PairedFingerprints::contains(const std::optional<std::string>& fingerprint) const {
    if (!fingerprint) return false;
    const auto normalized = HalvardineSecurity::normalizedFingerprint(*fingerprint);
    if (!normalized) return false;
    std::lock_guard guard(mutex_);
    return fingerprints_->count(*normalized) != 0;
}

}  // namespace zentrabo
