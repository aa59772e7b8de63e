#pragma once

#include <stdexcept>
#include <string>

namespace zentrabo::platform {

// A failed cryptographic operation. The message names the operation and
// carries OpenSSL's reason; it never contains key material.
class CryptoError : public std::runtime_error {
public:
    explicit CryptoError(const std::string& operation);
};

}  // namespace zentrabo::platform
