#include "server/authorization/paired_device_store.hpp"

#include <string>

#include "model/diagnostic_log.hpp"
#include "platform/crypto/digest.hpp"
#include "platform/json/json_error.hpp"
#include "platform/store/store_files.hpp"

namespace zentrabo {
namespace {

std::string_view textOf(const platform::Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Copies unreadable stored data into the config folder under a name made
// from its content, so a relaunch with the same data adds no second copy.
void keepUnreadableDataAside(const platform::Bytes& bytes) {
    const std::string digest = platform::sha256Hex(bytes);
    const auto path =
        platform::configFolder() / ("authorizedClientDevices.unreadable-" + digest.substr(0, 16) + ".json");
    std::error_code exists;
    if (std::filesystem::exists(path, exists)) return;
    if (const std::error_code error = platform::writeStoreFileAtomically(path, textOf(bytes))) {
        ZENTRABO_LOG("Stored paired devices are unreadable; keeping a copy at " + path.string() +
                     " failed: " + error.message());
        return;
    }
    ZENTRABO_LOG("Stored paired devices are unreadable; a copy was kept at " + path.string());
}

std::vector<AuthorizedClientDevice> migrateLegacyFingerprints(platform::UserDefaults& defaults, platform::Date now) {
    const auto legacy = normalizedLegacyFingerprints(
        defaults.stringArray(legacyAuthorizedClientFingerprintsKey).value_or(std::vector<std::string>{}));
    std::vector<AuthorizedClientDevice> devices;
    for (const auto& fingerprint : legacy) {
        devices.push_back({std::string(unknownDeviceName) + " " + std::to_string(devices.size() + 1), fingerprint, now,
                           std::nullopt, std::nullopt});
    }
    // Kept in the legacy order, not sorted.
    if (!devices.empty()) saveAuthorizedClientDevices(defaults, devices, platform::DefaultsWrite::immediate);
    return devices;
}

}  // namespace

std::vector<AuthorizedClientDevice> loadAuthorizedClientDevices(platform::UserDefaults& defaults, platform::Date now) {
    if (const auto stored = defaults.data(authorizedClientDevicesKey)) {
        if (auto devices = decodeAuthorizedClientDevices(textOf(*stored))) {
            return sanitizedAuthorizedClientDevices(std::move(*devices));
        }
        keepUnreadableDataAside(*stored);
    }
    return migrateLegacyFingerprints(defaults, now);
}

std::error_code saveAuthorizedClientDevices(platform::UserDefaults& defaults,
                                            const std::vector<AuthorizedClientDevice>& devices,
                                            platform::DefaultsWrite write) {
    std::string json;
    try {
        json = encodeAuthorizedClientDevices(devices);
    } catch (const platform::JsonWriteError&) {
        // The list in memory stays authoritative for this run.
        return {};
    }
    if (const std::error_code error =
            defaults.set(authorizedClientDevicesKey, platform::Bytes(json.begin(), json.end()), write)) {
        return error;
    }
    // Checked first: removing rewrites the file, which a request's
    // last-seen update must not cost. The new list is stored by now, and it
    // is read before the older form, so a failure here loses nothing.
    if (defaults.value(legacyAuthorizedClientFingerprintsKey)) {
        (void)defaults.remove(legacyAuthorizedClientFingerprintsKey);
    }
    return {};
}

}  // namespace zentrabo
