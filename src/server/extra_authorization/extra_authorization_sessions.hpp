#pragma once
// Granted extra-authorization sessions, held in memory only. A device proves
// the password once and gets a token; only the token's SHA-256 is kept. A
// session belongs to one device and one channel, and opens every protected
// scope there until it expires or the settings clear the store.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo {

struct ExtraAuthorizationTokenRecord {
    // sha256Hex of the token.
    std::string tokenHash;
    // Normalised.
    std::string clientCertificateFingerprint;
    HalvardineExtraAuthorizationChannel channel;
    platform::Date expiresAt;
};

// 32 random bytes in URL-safe Base64 without padding: 43 characters (48
// from the text of a UUID on the rare failure of the generator).
std::string makeExtraAuthorizationToken();

class ExtraAuthorizationSessions {
public:
    // Stores a new session and returns its token; sessions that have expired
    // at `now` are dropped.
    std::string grant(const std::string& fingerprint, HalvardineExtraAuthorizationChannel channel,
                      platform::Date expiresAt, platform::Date now);

    // Whether the (trimmed) token opens a session of this device on this
    // channel at `now`. Drops expired sessions first. A valid token stays
    // valid until it expires: it is not used up.
    bool isValid(std::string_view token, std::string_view fingerprint, HalvardineExtraAuthorizationChannel channel,
                 platform::Date now);

    void removeAll() { sessions_.clear(); }
    std::size_t count() const { return sessions_.size(); }

private:
    void removeExpired(platform::Date now);

    std::unordered_map<std::string, ExtraAuthorizationTokenRecord> sessions_;
};

}  // namespace zentrabo
