#include "platform/host/recent_value.hpp"

#include <gtest/gtest.h>

#include <string>

namespace zentrabo::platform {
namespace {

using namespace std::chrono_literals;

TEST(RecentValue, LooksUpAgainOnlyOnceTheLastLookUpIsAsOldAsTheAge) {
    RecentValue<int>::Clock::time_point now{};
    int lookUps = 0;
    RecentValue<int> value([&] { return ++lookUps * 10; }, 1s, [&] { return now; });
    struct Step {
        std::chrono::milliseconds at;
        int expected;
    };
    // The first call looks up; calls within the age share it; the age is
    // counted from the last look-up, not from the first call.
    const Step steps[] = {{0ms, 10}, {999ms, 10}, {1000ms, 20}, {1500ms, 20}, {1999ms, 20}, {2000ms, 30}, {9000ms, 40}};
    for (const auto& step : steps) {
        now = RecentValue<int>::Clock::time_point{} + step.at;
        EXPECT_EQ(value.get(), step.expected) << "at " << step.at.count() << " ms";
    }
}

TEST(RecentValue, AnEmptyAnswerIsKeptLikeAnyOther) {
    RecentValue<std::optional<std::string>>::Clock::time_point now{};
    int lookUps = 0;
    RecentValue<std::optional<std::string>> name(
        [&]() -> std::optional<std::string> {
            ++lookUps;
            return std::nullopt;
        },
        1s, [&] { return now; });
    EXPECT_EQ(name.get(), std::nullopt);
    EXPECT_EQ(name.get(), std::nullopt);
    EXPECT_EQ(lookUps, 1);
}

}  // namespace
}  // namespace zentrabo::platform
