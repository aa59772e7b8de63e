#include <gtest/gtest.h>

#include "security/der.hpp"
#include "security/der_certificate.hpp"

namespace zentrabo::DER {
namespace {

TEST(Der, LengthOctetsUseTheShortestForm) {
    EXPECT_EQ(length(0), (Bytes{0x00}));
    EXPECT_EQ(length(127), (Bytes{0x7F}));
    EXPECT_EQ(length(128), (Bytes{0x81, 0x80}));
    EXPECT_EQ(length(255), (Bytes{0x81, 0xFF}));
    EXPECT_EQ(length(256), (Bytes{0x82, 0x01, 0x00}));
    EXPECT_EQ(length(300), (Bytes{0x82, 0x01, 0x2C}));
    EXPECT_EQ(length(65536), (Bytes{0x83, 0x01, 0x00, 0x00}));
}

TEST(Der, IntegersAreMinimalAndNeverNegative) {
    EXPECT_EQ(integer(ByteView(Bytes{0x00, 0x00, 0x80})), (Bytes{0x02, 0x02, 0x00, 0x80}));
    EXPECT_EQ(integer(ByteView(Bytes{0x00, 0x00, 0x7F})), (Bytes{0x02, 0x01, 0x7F}));
    EXPECT_EQ(integer(ByteView(Bytes{0xFF})), (Bytes{0x02, 0x02, 0x00, 0xFF}));
    EXPECT_EQ(integer(ByteView(Bytes{0x00})), (Bytes{0x02, 0x01, 0x00}));
    EXPECT_EQ(integer(ByteView(Bytes{0x00, 0x00})), (Bytes{0x02, 0x01, 0x00}));
    EXPECT_EQ(integer(std::uint64_t{0}), (Bytes{0x02, 0x01, 0x00}));
    EXPECT_EQ(integer(std::uint64_t{2}), (Bytes{0x02, 0x01, 0x02}));
    EXPECT_EQ(integer(std::uint64_t{0x8000}), (Bytes{0x02, 0x03, 0x00, 0x80, 0x00}));
}

TEST(Der, ObjectIdentifiersFromDottedText) {
    EXPECT_EQ(objectIdentifier("1.2.840.10045.4.3.2"),
              (Bytes{0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}));
    EXPECT_EQ(objectIdentifier("2.5.4.3"), (Bytes{0x06, 0x03, 0x55, 0x04, 0x03}));
    EXPECT_EQ(objectIdentifier("2..5.x.4.3."), (Bytes{0x06, 0x03, 0x55, 0x04, 0x03}));
    EXPECT_EQ(objectIdentifier("2"), (Bytes{0x06, 0x00}));
    EXPECT_EQ(objectIdentifier(""), (Bytes{0x06, 0x00}));
}

TEST(Der, ConstructedWrapsItsElementsInOrder) {
    EXPECT_EQ(constructed({}), (Bytes{0x30, 0x00}));
    EXPECT_EQ(constructed({Bytes{0x05, 0x00}, Bytes{0x01, 0x01, 0xFF}}, tagSet),
              (Bytes{0x31, 0x05, 0x05, 0x00, 0x01, 0x01, 0xFF}));
}

TEST(Der, ExtensionsMarkOnlyCriticalOnes) {
    const Bytes value{0x30, 0x00};
    EXPECT_EQ(extension("2.5.29.19", true, value),
              (Bytes{0x30, 0x0C, 0x06, 0x03, 0x55, 0x1D, 0x13, 0x01, 0x01, 0xFF, 0x04, 0x02, 0x30, 0x00}));
    EXPECT_EQ(extension("2.5.29.19", false, value),
              (Bytes{0x30, 0x09, 0x06, 0x03, 0x55, 0x1D, 0x13, 0x04, 0x02, 0x30, 0x00}));
}

TEST(Der, SerialNumbersArePositiveAndNonZero) {
    SerialBytes high{};
    high.fill(0xFF);
    const SerialBytes positive = serialNumber(high);
    EXPECT_EQ(positive[0], 0x7F);
    EXPECT_EQ(integer(ByteView(positive)).size(), 2u + 16u);  // no sign byte needed

    const SerialBytes zero = serialNumber(SerialBytes{});
    EXPECT_EQ(zero.back(), 1);
    EXPECT_EQ(integer(ByteView(zero)), (Bytes{0x02, 0x01, 0x01}));

    EXPECT_LT(serialNumber()[0], 0x80);
    EXPECT_NE(serialNumber(), serialNumber());
}

Clock::time_point utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm calendar{};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    return Clock::from_time_t(timegm(&calendar));
}

Bytes timeBytes(std::uint8_t tag, std::string_view text) {
    return tlv(tag, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Der, TimesSwitchToGeneralizedTimeFrom2050) {
    EXPECT_EQ(time(utc(2026, 3, 4, 5, 6, 7)), timeBytes(tagUtcTime, "260304050607Z"));
    EXPECT_EQ(time(utc(2049, 12, 31, 23, 59, 59)), timeBytes(tagUtcTime, "491231235959Z"));
    EXPECT_EQ(time(utc(2050, 1, 1, 0, 0, 0)), timeBytes(tagGeneralizedTime, "20500101000000Z"));
    EXPECT_EQ(time(utc(1949, 12, 31, 23, 59, 59)), timeBytes(tagGeneralizedTime, "19491231235959Z"));
}

TEST(Der, ValidityRunsFromAnHourBackToTenYearsAhead) {
    const Clock::time_point now = utc(2026, 12, 7, 5, 0, 0);
    EXPECT_EQ(validity(now),
              constructed({timeBytes(tagUtcTime, "261207040000Z"), timeBytes(tagUtcTime, "361204050000Z")}));
}

}  // namespace
}  // namespace zentrabo::DER
