// What each reading of a field table accepts: a peer's message, a stored
// file and a file written by hand; and a member in a form of its own.
#include "platform/json/record_json.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace zentrabo::platform {

// Upper-case hexadecimal text.
struct HexText {
    static void read(JsonValue value, std::uint32_t& out) {
        const auto text = value.asString();
        if (!text || text->empty() || text->size() > 8 ||
            text->find_first_not_of("0123456789ABCDEF") != std::string_view::npos) {
            throw RecordDecodeError(RecordFault::invalidValue, "not hexadecimal text.");
        }
        out = static_cast<std::uint32_t>(std::stoul(std::string(*text), nullptr, 16));
    }
    static void write(JsonWriter& writer, std::uint32_t value) {
        char text[9];
        std::snprintf(text, sizeof text, "%X", value);
        writer.string(text);
    }
};

struct Entry {
    std::string name;
    std::optional<std::string> note;
    std::int32_t count = 7;
    std::uint32_t mask = 0xFF;

    static constexpr auto jsonFields() {
        return std::tuple{field("name", &Entry::name), field("note", &Entry::note),
                          field("count", &Entry::count, recordDefault),
                          field("mask", &Entry::mask, recordDefault).as<HexText>()};
    }
};

namespace {

struct Outcome {
    std::string encodedOrPath;
    std::optional<RecordFault> fault;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << outcome.encodedOrPath << (outcome.fault ? " fault " + std::to_string(int(*outcome.fault)) : "");
}

Outcome read(std::string_view json, RecordReading reading) {
    try {
        const auto document = JsonDocument::parse(json);
        return {encodeRecord(decodeRecord<Entry>(document.root(), reading)), std::nullopt};
    } catch (const RecordDecodeError& error) {
        return {error.path(), error.fault()};
    }
}

Outcome encoded(std::string_view json) { return {std::string(json), std::nullopt}; }
Outcome fault(std::string_view path, RecordFault fault) { return {std::string(path), fault}; }

TEST(RecordReadings, EachReadingTakesWhatItsFilesHold) {
    const struct {
        std::string_view json;
        Outcome message, stored, strict;
    } cases[] = {
        // Left-out members keep the record's initial values; mask has a form of its own.
        {R"({"name":"a"})", encoded(R"({"name":"a","count":7,"mask":"FF"})"),
         encoded(R"({"name":"a","count":7,"mask":"FF"})"), encoded(R"({"name":"a","count":7,"mask":"FF"})")},
        {R"({"name":"a","mask":"1F","count":2})", encoded(R"({"name":"a","count":2,"mask":"1F"})"),
         encoded(R"({"name":"a","count":2,"mask":"1F"})"), encoded(R"({"name":"a","count":2,"mask":"1F"})")},
        {R"({"name":"a","mask":"1f"})", fault("mask", RecordFault::invalidValue),
         fault("mask", RecordFault::invalidValue), fault("mask", RecordFault::invalidValue)},
        // Null is absence only in messages.
        {R"({"name":"a","note":null,"count":null})", encoded(R"({"name":"a","count":7,"mask":"FF"})"),
         fault("note", RecordFault::notString), fault("note", RecordFault::notString)},
        {R"({"name":null})", fault("name", RecordFault::missing), fault("name", RecordFault::notString),
         fault("name", RecordFault::notString)},
        // Unknown keys, refused only by the strict reading, after every known member.
        {R"({"extra":{"x":1},"name":"a"})", encoded(R"({"name":"a","count":7,"mask":"FF"})"),
         encoded(R"({"name":"a","count":7,"mask":"FF"})"), fault("extra", RecordFault::unknownKey)},
        {R"({"extra":1,"count":"x","name":"a"})", fault("count", RecordFault::notInteger),
         fault("count", RecordFault::notInteger), fault("count", RecordFault::notInteger)},
        // Document order against table order.
        {R"({"count":"x","name":5})", fault("count", RecordFault::notInteger), fault("name", RecordFault::notString),
         fault("name", RecordFault::notString)},
        {R"({"count":"x"})", fault("count", RecordFault::notInteger), fault("name", RecordFault::missing),
         fault("name", RecordFault::missing)},
        // Of repeated keys a message reads each, a file the last.
        {R"({"name":5,"name":"b"})", fault("name", RecordFault::notString),
         encoded(R"({"name":"b","count":7,"mask":"FF"})"), encoded(R"({"name":"b","count":7,"mask":"FF"})")},
        {R"([])", fault("", RecordFault::notObject), fault("", RecordFault::notObject),
         fault("", RecordFault::notObject)},
    };
    for (const auto& [json, message, stored, strict] : cases) {
        EXPECT_EQ(read(json, RecordReading::message), message) << json;
        EXPECT_EQ(read(json, RecordReading::stored), stored) << json;
        EXPECT_EQ(read(json, RecordReading::strict), strict) << json;
    }
}

}  // namespace
}  // namespace zentrabo::platform
