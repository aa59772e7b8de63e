#include "platform/json/json_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zentrabo::platform {
namespace {

JsonParseError::Kind parseFailure(std::string_view text) {
    try {
        JsonDocument::parse(text);
    } catch (const JsonParseError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "parsed: " << text;
    return JsonParseError::Kind::malformed;
}

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonReader, LimitsNestingDepthWithoutRecursion) {
    EXPECT_NO_THROW(JsonDocument::parse(nested(kJsonMaximumDepth)));
    EXPECT_EQ(parseFailure(nested(kJsonMaximumDepth + 1)), JsonParseError::Kind::tooDeep);
    // Far deeper than any stack would survive if parsing recursed.
    EXPECT_EQ(parseFailure(nested(1'000'000)), JsonParseError::Kind::tooDeep);
    std::string objects;
    for (int i = 0; i < 300; ++i) objects += "{\"a\":";
    objects += "1" + std::string(300, '}');
    EXPECT_EQ(parseFailure(objects), JsonParseError::Kind::tooDeep);
}

TEST(JsonReader, RefusesInvalidTextWithoutQuotingIt) {
    EXPECT_EQ(parseFailure("{\"password\":\"se\xFFret\"}"), JsonParseError::Kind::invalidUtf8);
    EXPECT_EQ(parseFailure("\"\xED\xA0\x80\""), JsonParseError::Kind::invalidUtf8);  // encoded surrogate
    EXPECT_EQ(parseFailure("\"\\ud800\""), JsonParseError::Kind::invalidString);     // lone surrogate escape
    EXPECT_EQ(parseFailure("1e400"), JsonParseError::Kind::invalidNumber);
    EXPECT_EQ(parseFailure("18446744073709551616"), JsonParseError::Kind::invalidNumber);
    for (const std::string_view text : {"", "{", "{\"a\":}", "[1,]", "{\"secret-password\" 1}", "nul", "01"}) {
        try {
            JsonDocument::parse(text);
            ADD_FAILURE() << "parsed: " << text;
        } catch (const JsonParseError& error) {
            EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos);
        }
    }
}

TEST(JsonReader, KeepsTheExactKindOfEveryNumber) {
    const auto document = JsonDocument::parse(
        R"([-9223372036854775808, 18446744073709551615, 96.0, 1e2, 96.5, -1, -0.0, 4294967296, 1.5e300])");
    const auto array = document.root().asArray();
    ASSERT_TRUE(array);
    std::vector<JsonValue> values(array->begin(), array->end());
    ASSERT_EQ(values.size(), 9u);

    std::int64_t signedValue = 0;
    EXPECT_EQ(values[0].type(), JsonType::signedInteger);
    EXPECT_EQ(values[0].getInteger(signedValue), JsonIntegerStatus::ok);
    EXPECT_EQ(signedValue, INT64_MIN);

    std::uint64_t unsignedValue = 0;
    EXPECT_EQ(values[1].type(), JsonType::unsignedInteger);
    EXPECT_EQ(values[1].getInteger(unsignedValue), JsonIntegerStatus::ok);
    EXPECT_EQ(unsignedValue, UINT64_MAX);
    EXPECT_EQ(values[1].getInteger(signedValue), JsonIntegerStatus::outOfRange);

    // Whole-valued floating numbers count as integers; fractions never do.
    std::int32_t small = 0;
    EXPECT_EQ(values[2].type(), JsonType::floating);
    EXPECT_EQ(values[2].getInteger(small), JsonIntegerStatus::ok);
    EXPECT_EQ(small, 96);
    EXPECT_EQ(values[3].getInteger(small), JsonIntegerStatus::ok);
    EXPECT_EQ(small, 100);
    EXPECT_EQ(values[4].getInteger(small), JsonIntegerStatus::notWhole);

    std::uint32_t unsigned32 = 0;
    EXPECT_EQ(values[5].getInteger(unsigned32), JsonIntegerStatus::outOfRange);
    EXPECT_EQ(values[6].getInteger(unsigned32), JsonIntegerStatus::ok);
    EXPECT_EQ(unsigned32, 0u);
    EXPECT_EQ(values[7].getInteger(unsigned32), JsonIntegerStatus::outOfRange);
    EXPECT_EQ(values[8].getInteger(signedValue), JsonIntegerStatus::outOfRange);
    EXPECT_EQ(values[8].asDouble(), 1.5e300);

    std::uint16_t port = 0;
    const auto text = JsonDocument::parse(R"(["80", true, null])");
    const auto others = text.root().asArray();
    for (const auto value : *others) {
        EXPECT_EQ(value.getInteger(port), JsonIntegerStatus::notNumber);
        EXPECT_FALSE(value.asDouble());
    }
}

TEST(JsonReader, VisitsObjectsAndArrays) {
    // A stored document keeps a repeated key; find gives its last value.
    const auto document = JsonDocument::parse(R"({"a":"x\u00e9\n","b":[true,false,null],"c":{},"a":"last"})");
    const auto object = document.root().asObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(object->size(), 4u);
    std::vector<std::string_view> keys;
    for (const auto field : *object) keys.push_back(field.key);
    EXPECT_EQ(keys, (std::vector<std::string_view>{"a", "b", "c", "a"}));
    EXPECT_EQ(object->find("a")->asString(), "last");
    EXPECT_FALSE(object->find("missing"));
    const auto array = object->find("b")->asArray();
    ASSERT_TRUE(array);
    EXPECT_EQ(array->size(), 3u);
    EXPECT_EQ((*array->begin()).asBool(), true);
    EXPECT_FALSE(object->find("b")->asObject());
    EXPECT_EQ(object->find("c")->asObject()->begin(), object->find("c")->asObject()->end());

    const auto first = JsonDocument::parse(R"("x\u00e9\n")");
    EXPECT_EQ(first.root().asString(), "x\xC3\xA9\n");
}

bool parsesFromNetwork(std::string_view text, std::size_t maximumValueCount = kJsonNetworkMaximumValueCount) {
    try {
        JsonDocument::parseFromNetwork(text, maximumValueCount);
        return true;
    } catch (const JsonParseError& error) {
        EXPECT_EQ(error.kind(), JsonParseError::Kind::malformed) << text;
        return false;
    }
}

TEST(JsonReader, NetworkDocumentsHoldNoMoreValuesThanAllowed) {
    // Each text and its values: every string, number, literal, array and
    // object, but no key.
    const std::vector<std::pair<std::string_view, std::size_t>> cases = {
        {"1", 1},
        {R"("a\"b")", 1},
        {R"("a\\")", 1},
        {R"(["\\\"",1])", 3},
        {"[]", 1},
        {" { } ", 1},
        {"[1,-2.5e3,true,false,null]", 6},
        {R"({"k":"v","n":{"m":[]}})", 4},
        {R"([ "x" , [ 1 ] ])", 4},
        {R"({"a\":b,c":1})", 2},
    };
    for (const auto& [text, values] : cases) {
        EXPECT_TRUE(parsesFromNetwork(text, values)) << text;
        EXPECT_FALSE(parsesFromNetwork(text, values - 1)) << text;
    }
}

TEST(JsonReader, NetworkDocumentsNameNoKeyTwiceAtAnyDepth) {
    for (const std::string_view text :
         {R"({"a":1,"a":2})", R"({"a":1,"\u0061":2})", R"([{"x":[{"b":1,"c":2,"b":3}]}])"}) {
        EXPECT_FALSE(parsesFromNetwork(text)) << text;
        // A stored document is read as it always was.
        EXPECT_NO_THROW(JsonDocument::parse(text)) << text;
    }
    for (const std::string_view text : {R"([{"a":1},{"a":1}])", R"({"a":{"a":1},"b":2})"}) {
        EXPECT_TRUE(parsesFromNetwork(text)) << text;
    }
}

TEST(JsonReader, AnInputBufferKeepsItsTextAcrossGrowthAndIsParsedWhereItIs) {
    JsonInputBuffer buffer;
    std::vector<std::string> elements;
    std::size_t length = 0;
    buffer.append("[");
    // Pieces of uneven sizes, well past several growth steps.
    while (length < 3 * JsonInputBuffer::growthStep) {
        elements.push_back(std::string(elements.size() * 977 % 70000, static_cast<char>('a' + elements.size() % 26)));
        buffer.append((elements.size() > 1 ? ",\"" : "\"") + elements.back() + "\"");
        length = buffer.size();
    }
    // What follows the first line feed is cut off.
    buffer.append("]\n[\"next\"]");
    buffer.truncate(buffer.text().find('\n'));

    const auto document = JsonDocument::parseFromNetworkInPlace(buffer);
    const auto array = document.root().asArray();
    ASSERT_TRUE(array);
    std::vector<std::string> parsed;
    for (const auto element : *array) parsed.emplace_back(*element.asString());
    EXPECT_EQ(parsed, elements);
}

TEST(JsonReader, AnInputBufferKeepsItsTextWhenItOutgrowsItsHeapBlock) {
    constexpr std::size_t block = JsonInputBuffer::heapBlockSize;
    // Text lengths about the heap block, written through room and commit in
    // reads of these sizes, as a connection reads its line.
    for (const std::size_t length : {std::size_t{4}, block - 1, block, block + 1, 3 * block + 7}) {
        for (const std::size_t readSize : {std::size_t{1000}, block}) {
            SCOPED_TRACE(std::to_string(length) + " bytes in reads of " + std::to_string(readSize));
            std::string text(length, 'x');
            for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
            text.replace(0, 2, "[\"");
            text.replace(length - 2, 2, "\"]");
            JsonInputBuffer buffer;
            for (std::size_t written = 0; written < length;) {
                const auto room = buffer.room(readSize);
                const std::size_t count = std::min(readSize, length - written);
                std::copy_n(text.data() + written, count, room.data());
                buffer.commit(count);
                written += count;
            }
            ASSERT_EQ(buffer.text(), text);
            JsonInputBuffer moved = std::move(buffer);
            const auto document = JsonDocument::parseFromNetworkInPlace(moved);
            const auto array = document.root().asArray();
            ASSERT_TRUE(array);
            std::vector<std::string> parsed;
            for (const auto element : *array) parsed.emplace_back(*element.asString());
            EXPECT_EQ(parsed, std::vector<std::string>{text.substr(2, length - 4)});
        }
    }
}

}  // namespace
}  // namespace zentrabo::platform
