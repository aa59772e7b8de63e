#include "server/authorization/authorized_client_device.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/json/json_reader.hpp"
#include "platform/text/collation.hpp"
#include "platform/text/trim.hpp"
#include "security/halvardine_security.hpp"

namespace zentrabo {

std::string deviceDisplayName(const std::optional<std::string>& name) {
    std::string trimmed = name ? platform::trimWhitespaceAndNewlines(*name) : std::string();
    return trimmed.empty() ? std::string(unknownDeviceName) : trimmed;
}

void sortInDeviceOrder(std::vector<AuthorizedClientDevice>& devices) {
    const platform::Collator order = platform::Collator::localizedStandard();
    std::stable_sort(devices.begin(), devices.end(),
                     [&](const auto& a, const auto& b) { return order.compare(a.displayName, b.displayName) < 0; });
}

std::vector<AuthorizedClientDevice> sanitizedAuthorizedClientDevices(std::vector<AuthorizedClientDevice> devices) {
    std::vector<AuthorizedClientDevice> kept;
    std::set<std::string, std::less<>> seen;
    for (auto& device : devices) {
        auto fingerprint = HalvardineSecurity::normalizedFingerprint(device.certificateFingerprint);
        if (!fingerprint || !seen.insert(*fingerprint).second) continue;
        device.certificateFingerprint = std::move(*fingerprint);
        device.displayName = deviceDisplayName(device.displayName);
        kept.push_back(std::move(device));
    }
    sortInDeviceOrder(kept);
    return kept;
}

std::vector<std::string> normalizedLegacyFingerprints(const std::vector<std::string>& fingerprints) {
    std::vector<std::string> kept;
    std::set<std::string, std::less<>> seen;
    for (const auto& fingerprint : fingerprints) {
        auto normalized = HalvardineSecurity::normalizedFingerprint(fingerprint);
        if (normalized && seen.insert(*normalized).second) kept.push_back(std::move(*normalized));
    }
    return kept;
}

std::string encodeAuthorizedClientDevices(const std::vector<AuthorizedClientDevice>& devices) {
    std::string json;
    platform::JsonWriter writer(json);
    platform::json_detail::EncodeContext context;
    platform::json_detail::encodeValue(writer, devices, context);
    return json;
}

std::optional<std::vector<AuthorizedClientDevice>> decodeAuthorizedClientDevices(std::string_view json) {
    try {
        const auto document = platform::JsonDocument::parse(json);
        std::vector<AuthorizedClientDevice> devices;
        platform::json_detail::DecodeContext context;
        platform::json_detail::decodeValue(document.root(), devices, context);
        return devices;
    } catch (const platform::JsonParseError&) {
        return std::nullopt;
    } catch (const RecordDecodeError&) {
        return std::nullopt;
    }
}

}  // namespace zentrabo
