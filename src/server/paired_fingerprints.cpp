#include "server/paired_fingerprints.hpp"

#include "security/halvardine_security.hpp"

namespace zentrabo {

void PairedFingerprints::update(const std::vector<AuthorizedClientDevice>& devices) {
    Set fingerprints;
    for (const auto& device : devices) {
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
