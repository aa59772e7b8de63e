#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_txt.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace zentrabo::platform {
namespace {

using namespace std::string_view_literals;

TEST(DnsServiceTxt, RoundTripsEntriesIncludingEmptyAndBinaryValues) {
    const DnsServiceTxt entries{{"fp", std::string(64, 'a')},
                                {"pv", "22"},
                                {"minClientPV", "1"},
                                {"empty", ""},
                                {"binary", std::string("a\0=b\xff", 5)}};
    std::string bytes;
    ASSERT_FALSE(encodeDnsServiceTxt(entries, bytes));
    EXPECT_EQ(decodeDnsServiceTxt(bytes), entries);
}

TEST(DnsServiceTxt, RefusesKeysAndEntriesTheWireFormCannotCarry) {
    const std::string longest(255 - 2, 'v');  // "k=" plus this is exactly 255 bytes
    std::string bytes = "untouched";
    EXPECT_FALSE(encodeDnsServiceTxt({{"k", longest}}, bytes));

    for (const DnsServiceTxt& entries :
         {DnsServiceTxt{{"", "v"}}, DnsServiceTxt{{"a=b", "v"}}, DnsServiceTxt{{std::string("a\0b", 3), "v"}},
          DnsServiceTxt{{"a\nb", "v"}}, DnsServiceTxt{{"k", longest + "v"}}}) {
        bytes = "untouched";
        const std::error_code error = encodeDnsServiceTxt(entries, bytes);
        EXPECT_EQ(error.category(), dnsServiceErrorCategory());
        EXPECT_TRUE(error);
        EXPECT_EQ(bytes, "untouched");
    }
}

TEST(DnsServiceTxt, DecodesHostileRecordsSafely) {
    // First of repeated keys wins; entries without a key are skipped; a key
    // without '=' has an empty value.
    EXPECT_EQ(decodeDnsServiceTxt("\x03"
                                  "a=b"
                                  "\x03"
                                  "a=c"
                                  "\x02"
                                  "=x"
                                  "\x00"
                                  "\x04"
                                  "flag"sv),
              (DnsServiceTxt{{"a", "b"}, {"flag", ""}}));
    // A length byte running past the end ends the record there.
    EXPECT_EQ(decodeDnsServiceTxt("\x04"
                                  "pv=1"
                                  "\x09"
                                  "fp="sv),
              (DnsServiceTxt{{"pv", "1"}}));
    EXPECT_TRUE(decodeDnsServiceTxt("\xff"sv).empty());
    EXPECT_TRUE(decodeDnsServiceTxt({}).empty());
    // Many empty entries: linear, whatever the record's size.
    std::string manyEmpty(1'000'000, '\0');
    manyEmpty +=
        "\x03"
        "k=v"sv;
    EXPECT_EQ(decodeDnsServiceTxt(manyEmpty), (DnsServiceTxt{{"k", "v"}}));
}

}  // namespace
}  // namespace zentrabo::platform
