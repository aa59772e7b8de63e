#include "platform/text/base64.hpp"

#include <gtest/gtest.h>

#include <random>

namespace zentrabo::platform {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64, EncodesTheStandardVectors) {
    const std::pair<std::string_view, std::string_view> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(bytesOf(plain)), encoded);
        std::vector<std::uint8_t> decoded{1, 2, 3};
        ASSERT_TRUE(base64Decode(encoded, decoded)) << encoded;
        EXPECT_EQ(decoded, bytesOf(plain));
    }
    EXPECT_EQ(base64Encode(std::vector<std::uint8_t>{0xFB, 0xFF, 0xBF}), "+/+/");
}

TEST(Base64, RoundTripsEveryLengthAndByteValue) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length < 300; ++length) {
        std::vector<std::uint8_t> bytes(length);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
        const std::string text = base64Encode(bytes);
        ASSERT_EQ(text.size(), base64EncodedLength(length));
        std::vector<std::uint8_t> decoded;
        ASSERT_TRUE(base64Decode(text, decoded));
        ASSERT_EQ(decoded, bytes);
    }
}

TEST(Base64, RefusesAnythingButStrictPaddedText) {
    std::vector<std::uint8_t> out;
    for (const std::string_view bad : std::initializer_list<std::string_view>{
             "Zg", "Zg=", "Zm9", "Zg==Zg==", "Z===", "====", "Zm9v\n", " Zm9v", "Zm 9v", "Zm9v-_==", "Zm=v",
             "Zm9vYg=\n", std::string_view("Zm\0v", 4), "Zm9v\xC3\xA9="}) {
        EXPECT_FALSE(base64Decode(bad, out)) << bad;
    }
}

}  // namespace
}  // namespace zentrabo::platform
