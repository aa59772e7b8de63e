// The field-table mechanism on records made for the test: every member type,
// presence rule and the tree limits.
#include "platform/json/record_json.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <unordered_set>

#include "support/small_stack.hpp"

namespace zentrabo::platform {

enum class Shade { light, dark };
std::string_view rawValue(Shade shade) { return shade == Shade::light ? "light" : "dark"; }
bool fromRawValue(std::string_view text, Shade& out) {
    if (text == "light") return out = Shade::light, true;
    if (text == "dark") return out = Shade::dark, true;
    return false;
}

struct Inner {
    std::string name;
    std::optional<Shade> shade;
    static constexpr auto jsonFields() {
        return std::tuple{field("name", &Inner::name), field("shade", &Inner::shade)};
    }
};

struct Sample {
    std::string text;
    bool flag = false;
    std::int64_t count = 0;
    std::int32_t small = 0;
    std::uint16_t port = 0;
    std::uint32_t display = 0;
    double ratio = 0;
    double created = 0;
    std::vector<std::uint8_t> bytes;
    Shade shade = Shade::light;
    std::optional<std::string> note;
    std::optional<std::vector<std::string>> tags;
    std::vector<std::optional<std::string>> slots;
    std::optional<Inner> inner;
    std::vector<Inner> inners;
    double delay = 0;
    double updated = 0;

    static constexpr auto jsonFields() {
        return std::tuple{
            field("text", &Sample::text),
            field("flag", &Sample::flag),
            field("count", &Sample::count),
            field("small", &Sample::small),
            field("port", &Sample::port),
            field("display", &Sample::display),
            field("ratio", &Sample::ratio),
            field("created", &Sample::created),
            field("bytes", &Sample::bytes),
            field("shade", &Sample::shade),
            field("note", &Sample::note),
            field("tags", &Sample::tags),
            field("slots", &Sample::slots),
            field("inner", &Sample::inner),
            field("inners", &Sample::inners),
            field("delay", &Sample::delay, 0.25),
            field("updated", &Sample::updated, &Sample::created),
        };
    }
};

struct Tree {
    std::string title;
    std::vector<Tree> children;
    static constexpr std::size_t maximumTreeDepth = 64;
    static constexpr auto jsonFields() {
        return std::tuple{field("title", &Tree::title), field("children", &Tree::children)};
    }
};

namespace {

constexpr std::string_view kMinimal =
    R"({"text":"t","flag":true,"count":-5,"small":7,"port":80,"display":4294967295,"ratio":0.5,)"
    R"("created":12.5,"bytes":"AAEC","shade":"dark","slots":[],"inners":[]})";

std::string withMember(std::string_view member) {
    std::string json(kMinimal);
    json.pop_back();
    return json + "," + std::string(member) + "}";
}

std::string withoutMember(std::string_view key) {
    std::string json(kMinimal);
    const auto start = json.find("\"" + std::string(key) + "\"");
    auto end = json.find(",\"", start + 1);
    if (end == std::string::npos) end = json.size() - 1;
    json.erase(start, end - start + (json[end] == ',' ? 1 : 0));
    if (json[json.size() - 2] == ',') json.erase(json.size() - 2, 1);
    return json;
}

std::string failureOf(const std::string& json) {
    try {
        decodeRecord<Sample>(json);
    } catch (const RecordDecodeError& error) {
        return error.what();
    }
    return "decoded";
}

TEST(RecordJson, DecodesEveryMemberTypeAndAppliesOnlyDeclaredDefaults) {
    const auto sample = decodeRecord<Sample>(kMinimal);
    EXPECT_EQ(sample.text, "t");
    EXPECT_TRUE(sample.flag);
    EXPECT_EQ(sample.count, -5);
    EXPECT_EQ(sample.display, 4294967295u);
    EXPECT_EQ(sample.created, 12.5);
    EXPECT_EQ(sample.bytes, (std::vector<std::uint8_t>{0, 1, 2}));
    EXPECT_EQ(sample.shade, Shade::dark);
    EXPECT_FALSE(sample.note);
    EXPECT_FALSE(sample.tags);
    EXPECT_FALSE(sample.inner);
    EXPECT_EQ(sample.delay, 0.25);
    EXPECT_EQ(sample.updated, sample.created);

    const auto nulls = decodeRecord<Sample>(withMember(R"("note":null,"tags":null,"delay":null,"updated":null)"));
    EXPECT_EQ(nulls, sample);
    const auto given = decodeRecord<Sample>(withMember(R"("delay":0,"updated":3,"tags":[],"note":"")"));
    EXPECT_EQ(given.delay, 0);
    EXPECT_EQ(given.updated, 3);
    ASSERT_TRUE(given.tags);
    EXPECT_TRUE(given.tags->empty());
    EXPECT_EQ(given.note, "");
}

TEST(RecordJson, AcceptsWholeFloatingNumbersForIntegersOnlyWhenTheyFit) {
    EXPECT_EQ(decodeRecord<Sample>(withMember(R"("small":96.0)")).small, 96);
    EXPECT_EQ(decodeRecord<Sample>(withMember(R"("count":1e2)")).count, 100);
    EXPECT_EQ(decodeRecord<Sample>(withMember(R"("port":65535)")).port, 65535);
    EXPECT_EQ(decodeRecord<Sample>(withMember(R"("ratio":3)")).ratio, 3.0);
    for (const auto member :
         {R"("small":96.5)", R"("small":2147483648)", R"("port":65536)", R"("port":-1)", R"("display":-1)",
          R"("display":4294967296)", R"("count":9223372036854775808)", R"("count":1e19)", R"("display":-1.0)"}) {
        EXPECT_NE(failureOf(withMember(member)), "decoded") << member;
    }
}

TEST(RecordJson, FailsTheWholeRecordForWrongTypesValuesAndMissingMembers) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {R"("text":1)", "Invalid record at text: expected a string."},
        {R"("flag":1)", "Invalid record at flag: expected true or false."},
        {R"("count":"1")", "Invalid record at count: expected a number."},
        {R"("small":1.5)", "Invalid record at small: expected a whole number."},
        {R"("port":70000)", "Invalid record at port: the number is out of range."},
        {R"("bytes":"AAE")", "Invalid record at bytes: the Base64 text is invalid."},
        {R"("bytes":"AA E")", "Invalid record at bytes: the Base64 text is invalid."},
        {R"("shade":"Dark")", "Invalid record at shade: the text is not one of the known values."},
        {R"("created":"2001-01-01T00:00:00Z")", "Invalid record at created: expected a number."},
        {R"("tags":{})", "Invalid record at tags: expected an array."},
        {R"("tags":["a",1])", "Invalid record at tags[1]: expected a string."},
        {R"("inner":{"shade":"dark"})", "Invalid record at inner.name: a required value is missing."},
        {R"("inners":[{"name":"a"},{"name":"b","shade":"dim"}])",
         "Invalid record at inners[1].shade: the text is not one of the known values."},
        {R"("text":null)", "Invalid record at text: a required value is missing."},
        {R"("delay":"soon")", "Invalid record at delay: expected a number."},
    };
    for (const auto& [member, message] : cases) EXPECT_EQ(failureOf(withMember(member)), message) << member;
    EXPECT_EQ(failureOf(withoutMember("slots")), "Invalid record at slots: a required value is missing.");
    EXPECT_EQ(failureOf(withoutMember("bytes")), "Invalid record at bytes: a required value is missing.");
    EXPECT_EQ(failureOf("[]"), "Invalid record: expected an object.");
    EXPECT_EQ(failureOf("{\"text\":\"\xFF\"}"), "Invalid record: The JSON text is not valid UTF-8.");
}

TEST(RecordJson, IgnoresUnknownKeysWhateverTheirValue) {
    const auto plain = decodeRecord<Sample>(kMinimal);
    const auto extra =
        decodeRecord<Sample>(withMember(R"("future":{"deep":[1,2,{"x":null}]},"Text":5,"shade ":"nope")"));
    EXPECT_EQ(extra, plain);
}

TEST(RecordJson, EncodesEveryMemberAndLeavesAbsentOptionalsOut) {
    Sample sample = decodeRecord<Sample>(kMinimal);
    EXPECT_EQ(encodeRecord(sample),
              R"({"text":"t","flag":true,"count":-5,"small":7,"port":80,"display":4294967295,"ratio":0.5,)"
              R"("created":12.5,"bytes":"AAEC","shade":"dark","slots":[],"inners":[],"delay":0.25,"updated":12.5})");

    sample.tags = std::vector<std::string>{};
    sample.slots = {std::nullopt, "x"};
    sample.inner = Inner{"in", Shade::light};
    sample.note = "";
    const std::string json = encodeRecord(sample);
    EXPECT_NE(json.find(R"("slots":[null,"x"])"), std::string::npos);
    EXPECT_NE(json.find(R"("tags":[])"), std::string::npos);
    EXPECT_EQ(decodeRecord<Sample>(json), sample);

    sample.ratio = std::numeric_limits<double>::infinity();
    EXPECT_THROW(encodeRecord(sample), JsonWriteError);
    sample.ratio = 0;
    sample.created = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(encodeRecord(sample), JsonWriteError);
}

TEST(RecordJson, EqualityAndHashCoverEveryMember) {
    const Sample base = decodeRecord<Sample>(kMinimal);
    std::unordered_set<Sample> set{base};
    const auto differs = [&](auto change) {
        Sample other = base;
        change(other);
        EXPECT_NE(other, base);
        return other;
    };
    differs([](Sample& s) { s.delay = 0.5; });
    differs([](Sample& s) { s.updated = 1; });
    differs([](Sample& s) { s.bytes.push_back(9); });
    differs([](Sample& s) { s.note = ""; });
    differs([](Sample& s) { s.slots.push_back(std::nullopt); });
    differs([](Sample& s) { s.inners.push_back(Inner{}); });
    Sample copy = base;
    EXPECT_EQ(copy, base);
    EXPECT_TRUE(set.contains(copy));
    copy.ratio = -0.0;
    Sample zero = base;
    zero.ratio = 0.0;
    EXPECT_EQ(copy, zero);
    EXPECT_EQ(hashValue(copy), hashValue(zero));
}

Tree chain(std::size_t depth) {
    Tree root{"0", {}};
    Tree* node = &root;
    for (std::size_t level = 1; level < depth; ++level) {
        node->children.push_back(Tree{std::to_string(level), {}});
        node = &node->children.back();
    }
    return root;
}

std::string chainJson(std::size_t depth) {
    std::string json;
    for (std::size_t level = 0; level < depth; ++level) json += R"({"title":"n","children":[)";
    for (std::size_t level = 0; level < depth; ++level) json += "]}";
    return json;
}

TEST(RecordJson, BoundsTreeDepthOnBothSides) {
    EXPECT_NO_THROW(decodeRecord<Tree>(chainJson(64)));
    try {
        decodeRecord<Tree>(chainJson(65));
        ADD_FAILURE() << "a 65-level tree was read";
    } catch (const RecordDecodeError& error) {
        EXPECT_EQ(error.reason(), "the tree is nested too deeply.");
    }
    // Far past the record limit the document's own depth limit answers first.
    EXPECT_THROW(decodeRecord<Tree>(chainJson(5000)), RecordDecodeError);

    const Tree deepest = chain(64);
    EXPECT_EQ(decodeRecord<Tree>(encodeRecord(deepest)), deepest);
    EXPECT_THROW(encodeRecord(chain(65)), JsonWriteError);
}

TEST(RecordJson, ComparesAndHashesVeryDeepTreesWithoutRecursion) {
    // Trees built in code may be deeper than any reader accepts.
    const Tree a = chain(100'000);
    const Tree b = chain(100'000);
    Tree c = chain(100'000);
    Tree* node = &c;
    while (!node->children.empty()) node = &node->children.back();
    node->title = "changed";
    bool equal = false, sameHash = false, unequal = false, otherHash = false;
    testing::runOnSmallStack([&] {
        equal = a == b;
        sameHash = hashValue(a) == hashValue(b);
        unequal = a != c;
        otherHash = hashValue(a) != hashValue(c);
    });
    EXPECT_TRUE(equal);
    EXPECT_TRUE(sameHash);
    EXPECT_TRUE(unequal);
    EXPECT_TRUE(otherHash);
}

}  // namespace
}  // namespace zentrabo::platform
