#include "screenstream/codec/annex_b.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zentrabo {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct SplitCase {
    const char* name;
    Bytes stream;
    std::vector<Bytes> units;
};

std::vector<Bytes> split(const Bytes& stream) {
    std::vector<Bytes> units;
    for (const auto unit : annexBNalUnits(stream)) units.emplace_back(unit.begin(), unit.end());
    return units;
}

TEST(AnnexB, SplitsIntoNalUnits) {
    const SplitCase cases[] = {
        {"4-, 3- and 4-byte start codes",
         {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB, 0, 0, 0, 1, 0x65, 0xCC},
         {{0x67, 0xAA}, {0x68, 0xBB}, {0x65, 0xCC}}},
        {"emulation prevention kept", {0, 0, 1, 0x65, 0, 0, 3, 1, 0, 0, 3, 0xFF}, {{0x65, 0, 0, 3, 1, 0, 0, 3, 0xFF}}},
        {"trailing zeros dropped",
         {0, 0, 1, 0x67, 0xAA, 0, 0, 0, 0, 0, 1, 0x68, 0xBB, 0, 0},
         {{0x67, 0xAA}, {0x68, 0xBB}}},
        {"leading zeros and bytes before the first start code", {0xAB, 0, 0, 0, 0, 0, 1, 0x09, 0xF0}, {{0x09, 0xF0}}},
        {"empty units skipped", {0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0x41, 0, 0, 1}, {{0x41}}},
        {"a start code split by a one-byte gap is none", {0, 0, 1, 0x41, 0, 2, 0, 1, 0x42}, {{0x41, 0, 2, 0, 1, 0x42}}},
        {"no start code", {0x67, 0x42, 0, 0, 2}, {}},
        {"nothing", {}, {}},
    };
    for (const SplitCase& splitCase : cases) EXPECT_EQ(split(splitCase.stream), splitCase.units) << splitCase.name;
}

TEST(AnnexB, PrefixesEachUnitWithItsBigEndianLength) {
    Bytes payload;
    appendLengthPrefixedNalUnit(payload, Bytes{0x67, 0xAA});
    appendLengthPrefixedNalUnit(payload, Bytes(0x0102, 0x41));
    ASSERT_EQ(payload.size(), 4 + 2 + 4 + 0x0102U);
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 6), (Bytes{0, 0, 0, 2, 0x67, 0xAA}));
    EXPECT_EQ(Bytes(payload.begin() + 6, payload.begin() + 10), (Bytes{0, 0, 1, 2}));
}

}  // namespace
}  // namespace zentrabo
