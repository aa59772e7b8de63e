#include "platform/random/random_bytes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zentrabo::platform {
namespace {

bool isAllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

TEST(RandomBytes, BothSourcesFillTheWholeBuffer) {
    for (const auto fill : {&fillSecureRandom, &fillRandomNeverFailing}) {
        std::vector<std::uint8_t> buffer(4096, 0);
        fill(buffer);
        // 32 zero bytes in a row from a working generator: odds of 2^-256.
        EXPECT_FALSE(isAllZero(std::span(buffer).first(32)));
        EXPECT_FALSE(isAllZero(std::span(buffer).last(32)));
    }
}

TEST(RandomBytes, AFailureCarriesTheGeneratorStatusInItsText) {
    const RandomGenerationError error(-1);
    EXPECT_EQ(error.status(), -1);
    EXPECT_STREQ(error.what(), "Random generation failed with status -1.");
}

}  // namespace
}  // namespace zentrabo::platform
