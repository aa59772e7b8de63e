#include "platform/dispatch/date.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace zentrabo::platform {
namespace {

using Time = std::chrono::system_clock::time_point;

TEST(Date, ConvertsToTheSystemClockAndClampsWhatItCannotHold) {
    EXPECT_EQ(Date{0}.systemTime(), Time(std::chrono::seconds(978307200)));
    EXPECT_EQ(Date{-978307200.5}.systemTime(), Time(std::chrono::milliseconds(-500)));
    // Stored dates come back from files that may be damaged.
    EXPECT_EQ(Date{1e300}.systemTime(), Time::max());
    EXPECT_EQ(Date{std::numeric_limits<double>::infinity()}.systemTime(), Time::max());
    EXPECT_EQ(Date{-1e300}.systemTime(), Time::min());
}

TEST(Date, UnixSecondsAreCountedFromTheUnixEpoch) {
    EXPECT_EQ(Date::fromUnixSeconds(978307200.25), Date{0.25});
    EXPECT_EQ(Date{-978307200}.unixSeconds(), 0.0);
}

}  // namespace
}  // namespace zentrabo::platform
