// One password check at the stored iteration count through our code (record
// decoding, Base64, the derivation, the constant-time comparison) beside a
// bare PKCS5_PBKDF2_HMAC call with the same parameters: the two should be
// within a few per cent, since the derivation is all of the cost.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "server/extra_authorization/extra_authorization_password.hpp"

namespace {

constexpr std::string_view password = "correct horse battery staple";

void BM_DirectPbkdf2(benchmark::State& state) {
    const std::array<std::uint8_t, 16> salt{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::array<std::uint8_t, 32> key{};
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(), salt.size(),
                          static_cast<int>(zentrabo::ExtraAuthorizationPasswordParameters::iterations), EVP_sha256(),
                          key.size(), key.data());
        benchmark::DoNotOptimize(key.data());
    }
}

void BM_VerifyExtraAuthorizationPassword(benchmark::State& state) {
    const auto record = zentrabo::makeExtraAuthorizationPasswordRecord(password);
    for (auto _ : state) {
        benchmark::DoNotOptimize(zentrabo::verifyExtraAuthorizationPassword(password, record));
    }
}

}  // namespace

BENCHMARK(BM_DirectPbkdf2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyExtraAuthorizationPassword)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
