// Property lists that libplist would crash on, expand without bound or
// overflow the stack with are refused before it reads them; ordinary ones
// still read.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/desktop/property_list.hpp"

namespace zentrabo::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::string_view_literals;

void appendNumber(Bytes& bytes, std::uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A binary list of the given objects (each its marker and contents), the
// first one the root, its references referenceWidth bytes wide.
Bytes binaryList(const std::vector<Bytes>& objects, int referenceWidth = 2) {
    Bytes bytes = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint64_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(bytes.size());
        bytes.insert(bytes.end(), object.begin(), object.end());
    }
    const std::uint64_t tableOffset = bytes.size();
    for (const auto offset : offsets) appendNumber(bytes, offset, 4);
    bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 4, static_cast<std::uint8_t>(referenceWidth)});
    appendNumber(bytes, objects.size(), 8);
    appendNumber(bytes, 0, 8);
    appendNumber(bytes, tableOffset, 8);
    return bytes;
}

// An array (0xA_) or dictionary (0xD_) marker with its references.
Bytes container(std::uint8_t marker, const std::vector<std::uint32_t>& references, int referenceWidth = 2) {
    Bytes object = {marker};
    for (const auto index : references) appendNumber(object, index, referenceWidth);
    return object;
}

Bytes utf16Text(std::u16string_view text) {
    Bytes object = {static_cast<std::uint8_t>(0x60 | text.size())};
    for (const char16_t unit : text) {
        object.push_back(static_cast<std::uint8_t>(unit >> 8));
        object.push_back(static_cast<std::uint8_t>(unit));
    }
    return object;
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PropertyListBoundsTest, ReadsBinaryListsWithTextsSharedAndNonAsciiText) {
    // {"Name": "Zoë", "Other": "Zoë"}: one text object referred to twice.
    const auto bytes = binaryList({container(0xD2, {1, 2, 3, 3}),
                                   {0x54, 'N', 'a', 'm', 'e'},
                                   {0x55, 'O', 't', 'h', 'e', 'r'},
                                   utf16Text(u"Zo\u00eb")});
    const auto value = decodePropertyList(bytes);
    ASSERT_TRUE(value);
    ASSERT_NE(value->find("Other"), nullptr);
    EXPECT_EQ(*value->find("Other")->string(), "Zo\u00eb");
}

TEST(PropertyListBoundsTest, RefusesTextsHoldingUPlus0000InsteadOfAborting) {
    // libplist keeps U+0000 of a UTF-16 text and aborts when the text is read.
    EXPECT_FALSE(decodePropertyList(binaryList({container(0xD1, {1, 2}), utf16Text(u"a\0b"sv), {0x09}})));
    EXPECT_FALSE(decodePropertyList(binaryList({container(0xD1, {1, 2}), {0x51, 'k'}, utf16Text(u"\u00e9\0"sv)})));
    EXPECT_FALSE(decodePropertyList(textBytes(std::string("<plist><string>a\0b</string></plist>", 35))));
}

TEST(PropertyListBoundsTest, RefusesSharedReferencesThatExpandBeyondTheValueBound) {
    // 40 levels of [x, x]: 2^40 values once libplist copies every reference.
    std::vector<Bytes> objects;
    for (std::uint32_t level = 0; level < 40; ++level) objects.push_back(container(0xA2, {level + 1, level + 1}));
    objects.push_back({0x09});
    EXPECT_FALSE(decodePropertyList(binaryList(objects)));

    // A value inside itself.
    EXPECT_FALSE(decodePropertyList(binaryList({container(0xA1, {0})})));
}

TEST(PropertyListBoundsTest, RefusesMoreValuesThanAnInformationDictionaryHolds) {
    // libplist reads a binary array in time quadratic in its length.
    constexpr std::uint32_t count = 20000;
    Bytes array = {0xAF, 0x12};  // the count follows as a 4-byte integer
    appendNumber(array, count, 4);
    std::vector<Bytes> objects = {{}};
    for (std::uint32_t index = 1; index <= count; ++index) {
        appendNumber(array, index, 4);
        objects.push_back({0x10, static_cast<std::uint8_t>(index)});
    }
    objects[0] = array;
    EXPECT_FALSE(decodePropertyList(binaryList(objects, 4)));

    std::string xml = "<plist version=\"1.0\"><array>";
    for (std::uint32_t index = 0; index < count; ++index) xml += "<true/>";
    EXPECT_FALSE(decodePropertyList(textBytes(xml + "</array></plist>")));
}

TEST(PropertyListBoundsTest, RefusesNestingTooDeepForTheStackInBothForms) {
    constexpr std::uint32_t levels = 200000;
    std::vector<Bytes> objects;
    for (std::uint32_t level = 0; level < levels; ++level) objects.push_back(container(0xA1, {level + 1}, 4));
    objects.push_back({0x09});
    EXPECT_FALSE(decodePropertyList(binaryList(objects, 4)));

    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (std::uint32_t level = 0; level < levels; ++level) xml += "<array>";
    EXPECT_FALSE(decodePropertyList(textBytes(xml)));
}

TEST(PropertyListBoundsTest, RefusesXmlWhoseTagsReadDifferentlyWithQuotesOrComments) {
    // Read with comments, the closing tags are hidden; read without, they
    // close the arrays. Either way the count must hold, so such text is refused.
    EXPECT_FALSE(decodePropertyList(
        textBytes("<plist version=\"1.0\"><array><!-- > </array></array> --><true/></array></plist>")));
    EXPECT_FALSE(decodePropertyList(textBytes("<plist version=\"1>0\"><true/></plist>")));
    EXPECT_FALSE(
        decodePropertyList(textBytes("<plist version=\"1.0\"><!DOCTYPE x [ <!ENTITY a \"b\"> ]><true/></plist>")));
    // Ordinary comments, declarations and attributes still read.
    EXPECT_TRUE(
        decodePropertyList(textBytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- made by hand -->"
                                     "<plist version='1.0'><array><true/></array></plist>")));
}

TEST(PropertyListBoundsTest, DatesLibplistCannotHoldAreRefusedBothWays) {
    // A binary date of 1e300 seconds: libplist's 32-bit seconds overflow.
    Bytes date = {0x33};
    const double seconds = 1e300;
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof seconds);
    std::memcpy(&bits, &seconds, sizeof bits);
    appendNumber(date, bits, 8);
    EXPECT_FALSE(decodePropertyList(binaryList({container(0xA1, {1}), date})));

    const PropertyListValue far(PropertyListValue::Storage(PropertyListValue::Dictionary{
        {"Due", PropertyListValue(PropertyListValue::Storage(Date{4e9}))},
    }));
    EXPECT_THROW(encodePropertyListXml(far), std::system_error);
}

}  // namespace
}  // namespace zentrabo::platform
