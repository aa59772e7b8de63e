#pragma once
// The program's one source of random bytes: the cryptographically secure
// generator, met in one of two ways when it fails.
#include <cstdint>
#include <span>
#include <stdexcept>

namespace zentrabo::platform {

// The secure generator failed. Its text is "Random generation failed with
// status <status>.", where the status is what the generator reported: 0 for
// a failure, -1 when no generator is available.
class RandomGenerationError : public std::runtime_error {
public:
    explicit RandomGenerationError(int status);
    int status() const noexcept { return status_; }

private:
    int status_;
};

// Fills the buffer from the secure generator alone, for secrets that may come
// from nowhere else (a password's salt, a session token, a pairing code).
// Fails closed: throws RandomGenerationError when the generator fails, and
// the buffer's content is then unspecified.
void fillSecureRandom(std::span<std::uint8_t> buffer);

// Fills the buffer from the secure generator or, should that fail, from the
// system's random device, so it never fails: for values that must be made
// even then (UUIDs, certificate serial numbers, the relay's device identifier
// and secret).
void fillRandomNeverFailing(std::span<std::uint8_t> buffer);

}  // namespace zentrabo::platform
