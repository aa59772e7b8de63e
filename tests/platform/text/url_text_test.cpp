#include "platform/text/url_text.hpp"

#include <gtest/gtest.h>

namespace zentrabo::platform {
namespace {

std::optional<std::string> schemeOf(std::string_view text) {
    const auto parsed = parseURLText(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? parsed->scheme : std::nullopt;
}

TEST(URLTextTest, TheSchemeIsWhatStandsBeforeTheFirstColonWhenItCanBeOne) {
    EXPECT_EQ(schemeOf("https://example.com:8443/a"), "https");
    EXPECT_EQ(schemeOf("x-notes+v2.1:open"), "x-notes+v2.1");
    EXPECT_EQ(schemeOf("localhost:8080"), "localhost");
    EXPECT_EQ(schemeOf(":8080"), "");
    EXPECT_EQ(schemeOf("example.com/a:b"), std::nullopt) << "a colon after the path began";
    EXPECT_EQ(schemeOf("1password:open"), std::nullopt) << "a scheme starts with a letter";
    EXPECT_EQ(schemeOf("example.com"), std::nullopt);
    EXPECT_EQ(schemeOf("https://bücher.example/straße"), "https");
}

TEST(URLTextTest, TextThatNoURLCanHoldIsRefused) {
    for (std::string_view text : {"", "a b", "https://x/\t", "https://x/%", "https://x/%4", "https://x/%g0",
                                  "https://x/{y}", "https://x/\"", "https://x/\x7F", "https://x/\xFF"}) {
        EXPECT_FALSE(parseURLText(text)) << text;
    }
    EXPECT_TRUE(parseURLText("https://x/%41%7e?q=a&b=c#frag"));
}

}  // namespace
}  // namespace zentrabo::platform
