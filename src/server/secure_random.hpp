#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentrabo {

// `count` random bytes for the relay's device identifier and secret: from
// the secure generator, or, should that fail, from the system's random
// device, so the call never fails.
std::vector<std::uint8_t> randomBytes(std::size_t count);

// `count` bytes from the secure generator alone, for secrets that may come
// from nowhere else (a password's salt, a session token). Throws
// HalvardineSecurityError (identityUnavailable) "Random generation failed
// with status <status>." when the generator fails.
std::vector<std::uint8_t> secureRandomBytes(std::size_t count);

}  // namespace zentrabo
