#pragma once
// The paired devices in the user defaults: loading (with the migration of
// the older fingerprint list) and saving.
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/dispatch/date.hpp"
#include "platform/store/user_defaults.hpp"
#include "server/authorization/authorized_client_device.hpp"

namespace zentrabo {

inline constexpr std::string_view authorizedClientDevicesKey = "authorizedClientDevices";
inline constexpr std::string_view legacyAuthorizedClientFingerprintsKey = "authorizedClientCertificateFingerprints";

// The stored list, sanitised and sorted. When there is none, or it cannot be
// read, the older fingerprint list is migrated ("Unknown Device 1", ...,
// paired `now`) and written in the new form. Unreadable stored data is first
// copied aside into the config folder and logged, so the next save cannot
// silently lose every paired device.
std::vector<AuthorizedClientDevice> loadAuthorizedClientDevices(platform::UserDefaults& defaults, platform::Date now);

// Writes the whole list and drops the older form. `write` is immediate for a
// new or revoked device, coalescible for the last-seen time of a request.
// An immediate write that fails returns why, and the stored list stays as
// it was.
std::error_code saveAuthorizedClientDevices(platform::UserDefaults& defaults,
                                            const std::vector<AuthorizedClientDevice>& devices,
                                            platform::DefaultsWrite write);

}  // namespace zentrabo
