#include "platform/crypto/crypto_error.hpp"

#include <openssl/err.h>

namespace zentrabo::platform {
namespace {

// Drains OpenSSL's error queue of this thread, keeping the newest reason so
// that a later operation does not report a stale one.
std::string describeAndClear(const std::string& operation) {
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0) last = code;
    if (last == 0) return operation + " failed";
    char reason[256];
    ERR_error_string_n(last, reason, sizeof reason);
    return operation + " failed: " + reason;
}

}  // namespace

CryptoError::CryptoError(const std::string& operation) : std::runtime_error(describeAndClear(operation)) {}

}  // namespace zentrabo::platform
