// Reading window-list values of whichever type the window server chose.
#include "maccontrol/window_info.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zentrabo {
namespace {

using platform::WindowInfoValue;

struct Reading {
    const char* what;
    std::optional<WindowInfoValue> value;
    std::optional<std::int64_t> asInt;
    std::optional<double> asDouble;
    std::optional<std::uint32_t> asUInt32;
    std::optional<bool> asBool;
};

TEST(WindowInfo, EachReaderTakesIntegersAndFloatingNumbersThatFit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Reading> readings = {
        {"absent", std::nullopt, {}, {}, {}, {}},
        {"integer", std::int64_t{42}, 42, 42.0, 42u, true},
        {"zero", std::int64_t{0}, 0, 0.0, 0u, false},
        {"floating number", 42.9, 42, 42.9, 42u, true},
        {"negative floating number", -0.5, 0, -0.5, {}, true},
        {"largest window number", std::int64_t{4294967295}, 4294967295, 4294967295.0, 4294967295u, true},
        // A wrapped -1 would pass for window 4294967295.
        {"negative integer", std::int64_t{-1}, -1, -1.0, {}, true},
        {"past 32 bits", std::int64_t{4294967296}, 4294967296, 4294967296.0, {}, true},
        {"floating number past 32 bits", 4294967295.5, 4294967295, 4294967295.5, {}, true},
        {"floating number past 64 bits", 1e300, {}, 1e300, {}, true},
        {"not a number", nan, {}, {}, {}, true},
        {"boolean", true, {}, {}, {}, true},
        {"text", std::string("12"), {}, {}, {}, {}},
    };
    for (const auto& reading : readings) {
        SCOPED_TRACE(reading.what);
        const WindowInfoValue* value = reading.value ? &*reading.value : nullptr;
        EXPECT_EQ(windowInfoInt(value), reading.asInt);
        if (reading.asDouble) {
            EXPECT_EQ(windowInfoDouble(value), reading.asDouble);
        } else if (value && std::holds_alternative<double>(*value)) {
            EXPECT_TRUE(std::isnan(*windowInfoDouble(value)));
        } else {
            EXPECT_EQ(windowInfoDouble(value), std::nullopt);
        }
        EXPECT_EQ(windowInfoUInt32(value), reading.asUInt32);
        EXPECT_EQ(windowInfoBool(value), reading.asBool);
    }
}

TEST(WindowInfo, BoundsNeedAllFourFiniteValues) {
    platform::WindowListEntry entry;
    EXPECT_EQ(windowInfoBounds(entry), std::nullopt);
    entry[platform::windowkey::bounds] =
        platform::WindowInfoDictionary{{"X", 10}, {"Y", -5}, {"Width", -40}, {"Height", 30}};
    EXPECT_EQ(windowInfoBounds(entry), (platform::Rect{10, -5, -40, 30})) << "as given, not standardised";
    entry[platform::windowkey::bounds] = platform::WindowInfoDictionary{{"X", 10}, {"Y", -5}, {"Width", 40}};
    EXPECT_EQ(windowInfoBounds(entry), std::nullopt);
    entry[platform::windowkey::bounds] = platform::WindowInfoDictionary{
        {"X", 10}, {"Y", -5}, {"Width", std::numeric_limits<double>::infinity()}, {"Height", 1}};
    EXPECT_EQ(windowInfoBounds(entry), std::nullopt);
    entry[platform::windowkey::bounds] = std::int64_t{7};
    EXPECT_EQ(windowInfoBounds(entry), std::nullopt);
}

}  // namespace
}  // namespace zentrabo
