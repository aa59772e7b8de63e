#include "model/date.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace zentrabo {
namespace {

using Time = std::chrono::system_clock::time_point;

TEST(DateRecord, ConvertsToTheSystemClockAndClampsWhatItCannotHold) {
    EXPECT_EQ(Date{0}.systemTime(), Time(std::chrono::seconds(978307200)));
    EXPECT_EQ(Date{-978307200.5}.systemTime(), Time(std::chrono::milliseconds(-500)));
    // Stored dates come back from files that may be damaged.
    EXPECT_EQ(Date{1e300}.systemTime(), Time::max());
    EXPECT_EQ(Date{std::numeric_limits<double>::infinity()}.systemTime(), Time::max());
    EXPECT_EQ(Date{-1e300}.systemTime(), Time::min());
}

}  // namespace
}  // namespace zentrabo
