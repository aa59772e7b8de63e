#include "platform/json/json_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/json/json_reader.hpp"

namespace zentrabo::platform {
namespace {

TEST(JsonWriter, PlacesSeparatorsAndAppendsToTheBuffer) {
    std::string out = "prefix ";
    JsonWriter writer(out);
    writer.beginObject();
    writer.key("a");
    writer.beginArray();
    writer.integer(-1);
    writer.unsignedInteger(18446744073709551615u);
    writer.null();
    writer.beginObject();
    writer.endObject();
    writer.beginArray();
    writer.endArray();
    writer.endArray();
    writer.key("b");
    writer.boolean(false);
    writer.key("c");
    writer.base64(std::vector<std::uint8_t>{'f', 'o'});
    writer.endObject();
    EXPECT_EQ(out, R"(prefix {"a":[-1,18446744073709551615,null,{},[]],"b":false,"c":"Zm8="})");
}

TEST(JsonWriter, EscapesStringsSoTheyReadBackExactly) {
    std::string control;
    for (char c = 0; c < 0x20; ++c) control.push_back(c);
    const std::string samples[] = {control + "\"\\/", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\x7F", ""};
    for (const auto& sample : samples) {
        std::string out;
        JsonWriter(out).string(sample);
        EXPECT_EQ(JsonDocument::parse(out).root().asString(), sample);
    }
    std::string out;
    JsonWriter(out).string("a\"b\\c\n\x01\r\t\b\f\x1F/");
    EXPECT_EQ(out, R"("a\"b\\c\n\u0001\r\t\b\f\u001f/")");
}

TEST(JsonWriter, ReplacesInvalidUtf8SoTheDocumentStaysValid) {
    const std::string samples[] = {"a\xFF", "\xC3", "\xE2\x82", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80"};
    for (const auto& sample : samples) {
        std::string out;
        JsonWriter(out).string(sample);
        const auto document = JsonDocument::parse(out);
        const auto text = document.root().asString();
        ASSERT_TRUE(text);
        EXPECT_NE(text->find("\xEF\xBF\xBD"), std::string_view::npos);
    }
}

TEST(JsonWriter, WritesShortestRoundTripDoublesAndRefusesNonFinite) {
    for (const double value :
         {0.25, 0.1, -0.0, 1e21, 1.8446744073709552e20, -1e19, 5e-324, 1.7976931348623157e308, 96.0, 1.0 / 3}) {
        std::string out;
        JsonWriter(out).number(value);
        EXPECT_EQ(JsonDocument::parse(out).root().asDouble(), value) << out;
    }
    std::string out;
    JsonWriter(out).number(0.1);
    EXPECT_EQ(out, "0.1");
    for (const double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
        std::string refused;
        EXPECT_THROW(JsonWriter(refused).number(bad), JsonWriteError);
    }
}

}  // namespace
}  // namespace zentrabo::platform
