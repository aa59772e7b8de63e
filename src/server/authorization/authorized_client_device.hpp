#pragma once
// A paired device: one trusted client certificate, its name and when it was
// last seen. The list is what client authorization checks.
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/dispatch/date.hpp"
#include "model/json/model_record_json.hpp"
#include "model/shared_enumerations.hpp"

namespace zentrabo {

struct AuthorizedClientDevice {
    // Trimmed; "Unknown Device" when the device gave none.
    std::string displayName;
    // Normalised (64 lower-case hexadecimal digits for a TLS certificate).
    std::string certificateFingerprint;
    platform::Date pairedAt;
    std::optional<platform::Date> lastSeenAt;
    std::optional<HalvardineExtraAuthorizationChannel> lastConnectionChannel;

    static constexpr auto jsonFields() {
        return std::tuple{
            field("displayName", &AuthorizedClientDevice::displayName),
            field("certificateFingerprint", &AuthorizedClientDevice::certificateFingerprint),
            field("pairedAt", &AuthorizedClientDevice::pairedAt),
            field("lastSeenAt", &AuthorizedClientDevice::lastSeenAt),
            field("lastConnectionChannel", &AuthorizedClientDevice::lastConnectionChannel),
        };
    }
};

inline constexpr std::string_view unknownDeviceName = "Unknown Device";

// The trimmed name, or "Unknown Device" when absent or blank.
std::string deviceDisplayName(const std::optional<std::string>& name);

// Sorts by display name in the order a file browser shows names (digit runs
// by value, case last); stable, so equal names keep their order.
void sortInDeviceOrder(std::vector<AuthorizedClientDevice>& devices);

// Normalises fingerprints and names, drops blank fingerprints and repeats
// (the first wins), then sorts in device order.
std::vector<AuthorizedClientDevice> sanitizedAuthorizedClientDevices(std::vector<AuthorizedClientDevice> devices);

// The older stored form, a list of fingerprints: normalised, blanks and
// repeats dropped, first-seen order kept.
std::vector<std::string> normalizedLegacyFingerprints(const std::vector<std::string>& fingerprints);

// The JSON array of the stored form. Throws platform::JsonWriteError for a
// date that is not a finite number.
std::string encodeAuthorizedClientDevices(const std::vector<AuthorizedClientDevice>& devices);
// None when the text is not a JSON array whose every element is a device.
std::optional<std::vector<AuthorizedClientDevice>> decodeAuthorizedClientDevices(std::string_view json);

}  // namespace zentrabo
