// The JSON forms of the model's own leaf types inside records: a Date is a
// number of seconds, a Uuid its upper-case text.
#include "model/json/model_record_json.hpp"

#include <gmock/gmock.h>

#include <limits>
#include <optional>

namespace zentrabo {

struct Stamped {
    platform::Date created;
    std::optional<platform::Date> seen;
    std::optional<platform::Uuid> uuid;
    platform::Date updated;

    static constexpr auto jsonFields() {
        return std::tuple{field("created", &Stamped::created), field("seen", &Stamped::seen),
                          field("uuid", &Stamped::uuid), field("updated", &Stamped::updated, &Stamped::created)};
    }
};

namespace {

// The text of the fault that refuses the JSON.
auto refusedWith(std::string_view text) { return ::testing::ThrowsMessage<RecordDecodeError>(::testing::StrEq(text)); }

TEST(ModelRecordJson, DatesAreSecondsAndUuidsTheirUpperCaseText) {
    const auto stamped = decodeRecord<Stamped>(R"({"created":12.5,"uuid":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f"})");
    EXPECT_EQ(stamped.created.secondsSinceReferenceDate, 12.5);
    EXPECT_EQ(stamped.updated, stamped.created);
    EXPECT_FALSE(stamped.seen);
    EXPECT_EQ(encodeRecord(stamped),
              R"({"created":12.5,"uuid":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","updated":12.5})");
    EXPECT_EQ(decodeRecord<Stamped>(encodeRecord(stamped)), stamped);

    EXPECT_THAT([] { decodeRecord<Stamped>(R"({"created":"2001-01-01T00:00:00Z"})"); },
                refusedWith("Invalid record at created: expected a number."));
    EXPECT_THAT([] { decodeRecord<Stamped>(R"({"created":1,"uuid":"not-a-uuid"})"); },
                refusedWith("Invalid record at uuid: the UUID text is invalid."));
    EXPECT_THAT([] { decodeRecord<Stamped>(R"({"created":1,"uuid":7})"); },
                refusedWith("Invalid record at uuid: expected a UUID string."));

    Stamped notFinite = stamped;
    notFinite.created.secondsSinceReferenceDate = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(encodeRecord(notFinite), platform::JsonWriteError);
}

TEST(ModelRecordJson, EqualDatesHashAlike) {
    Stamped negativeZero{platform::Date{-0.0}, std::nullopt, std::nullopt, platform::Date{1}};
    Stamped zero{platform::Date{0.0}, std::nullopt, std::nullopt, platform::Date{1}};
    EXPECT_EQ(negativeZero, zero);
    EXPECT_EQ(hashValue(negativeZero), hashValue(zero));
    zero.updated = platform::Date{2};
    EXPECT_NE(negativeZero, zero);
    EXPECT_NE(hashValue(negativeZero), hashValue(zero));
    zero.updated = platform::Date{1};
    zero.uuid = platform::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_NE(negativeZero, zero);
}

}  // namespace
}  // namespace zentrabo
