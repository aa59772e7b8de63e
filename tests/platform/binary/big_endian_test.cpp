#include "platform/binary/big_endian.hpp"

#include <gtest/gtest.h>

namespace zentrabo::platform {
namespace {

TEST(BigEndian, ReadsInsideTheBytesOnly) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    EXPECT_EQ(readUInt16(bytes, 7), 0x0809);
    EXPECT_EQ(readUInt32(bytes, 1), 0x02030405u);
    EXPECT_EQ(readUInt64(bytes, 1), 0x0203040506070809u);
    EXPECT_THROW(readUInt16(bytes, 8), std::out_of_range);
    EXPECT_THROW(readUInt64(bytes, 2), std::out_of_range);
    EXPECT_THROW(readUInt32(bytes, std::size_t(-1)), std::out_of_range);
}

TEST(BigEndian, WritesInsideTheBytesOnly) {
    std::vector<std::uint8_t> bytes(6, 0xEE);
    writeBigEndian(bytes, 1, std::uint32_t{0x0A0B0C0D});
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xEE, 0x0A, 0x0B, 0x0C, 0x0D, 0xEE}));
    EXPECT_THROW(writeBigEndian(bytes, 3, std::uint32_t{1}), std::out_of_range);
    EXPECT_THROW(writeBigEndian(bytes, std::size_t(-1), std::uint16_t{1}), std::out_of_range);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xEE, 0x0A, 0x0B, 0x0C, 0x0D, 0xEE}));
}

TEST(BigEndian, AppendedNumbersReadBack) {
    std::vector<std::uint8_t> bytes;
    appendBigEndian(bytes, std::uint16_t{0xA1B2});
    appendBigEndian(bytes, std::uint64_t{0x0102030405060708});
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xA1, 0xB2, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(readUInt64(bytes, 2), 0x0102030405060708u);
}

}  // namespace
}  // namespace zentrabo::platform
