#include "server/extra_authorization/extra_authorization_sessions.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/digest.hpp"
#include "platform/random/random_bytes.hpp"
#include "platform/random/uuid.hpp"
#include "platform/text/base64.hpp"
#include "server/extra_authorization/sha256_text.hpp"

namespace zentrabo {

namespace {

constexpr std::size_t tokenByteCount = 32;

// Random bytes, or, when the generator fails, the text of a fresh UUID: a
// grant never fails for want of randomness.
std::vector<std::uint8_t> tokenBytes() {
    std::vector<std::uint8_t> bytes(tokenByteCount);
    try {
        platform::fillSecureRandom(bytes);
        return bytes;
    } catch (const platform::RandomGenerationError&) {
        const std::string uuid = platform::Uuid::random().uuidString;
        return {uuid.begin(), uuid.end()};
    }
}

}  // namespace

std::string makeExtraAuthorizationToken() {
    std::string token = platform::base64Encode(tokenBytes());
    std::replace(token.begin(), token.end(), '+', '-');
    std::replace(token.begin(), token.end(), '/', '_');
    std::erase(token, '=');
    return token;
}

std::string ExtraAuthorizationSessions::grant(const std::string& fingerprint,
                                              HalvardineExtraAuthorizationChannel channel, platform::Date expiresAt,
                                              platform::Date now) {
    std::string token = makeExtraAuthorizationToken();
    std::string tokenHash = sha256Hex(token);
    sessions_.insert_or_assign(tokenHash, ExtraAuthorizationTokenRecord{tokenHash, fingerprint, channel, expiresAt});
    removeExpired(now);
    return token;
}

bool ExtraAuthorizationSessions::isValid(std::string_view token, std::string_view fingerprint,
                                         HalvardineExtraAuthorizationChannel channel, platform::Date now) {
    removeExpired(now);
    const std::string tokenHash = sha256Hex(token);
    const auto found = sessions_.find(tokenHash);
    if (found == sessions_.end()) return false;
    const ExtraAuthorizationTokenRecord& session = found->second;
    return session.expiresAt > now && session.clientCertificateFingerprint == fingerprint &&
           session.channel == channel &&
           platform::constantTimeEquals(platform::bytesOf(session.tokenHash), platform::bytesOf(tokenHash));
}

void ExtraAuthorizationSessions::removeExpired(platform::Date now) {
    std::erase_if(sessions_, [now](const auto& entry) { return entry.second.expiresAt <= now; });
}

}  // namespace zentrabo
