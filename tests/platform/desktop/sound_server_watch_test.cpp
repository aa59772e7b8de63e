// The sound server watch: a stream without sound is told once until sound
// could be had again, the stream that has sound after that is told once too,
// and only an unreachable server changes what is known.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/sound_server_watch.hpp"
#include "platform/dispatch/manual_clock.hpp"

namespace zentrabo::platform {
namespace {

TEST(SoundServerWatch, AStreamWithoutSoundIsToldOnceUntilSoundCouldBeHadAndItsReturnOnce) {
    using State = SoundAvailability::State;
    const std::string unreachable = "no sound server answers (Connection refused)";
    const std::string unrecordable = "The default sound output cannot be recorded: No such entity";
    struct Row {
        std::string lack;  // the stream's problem; empty: it has sound
        bool told;         // the lack, or for a stream with sound that sound is back
        State after;
    };
    const Row rows[] = {
        {unreachable, true, State::unavailable},
        {unreachable, false, State::unavailable},
        {unrecordable, false, State::unavailable},
        {"", true, State::available},
        {"", false, State::available},
        {unrecordable, true, State::available},
        {unreachable, false, State::unavailable},
        {"", true, State::available},
    };
    ManualClock clock;
    // The first check answers at once (awaited, so it cannot overwrite what
    // the streams report); the clock never ages it.
    SoundServerWatch watch(clock, [] { return std::nullopt; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (watch.availability().state == State::checking && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<std::optional<std::string>> told;
    watch.whenStreamSoundChanges([&told](const std::optional<std::string>& problem) { told.push_back(problem); });
    for (std::size_t index = 0; index < std::size(rows); ++index) {
        SCOPED_TRACE(index);
        const auto& row = rows[index];
        const auto before = told.size();
        if (row.lack.empty()) {
            watch.streamHasSound();
        } else {
            watch.streamLacksSound(row.lack, row.lack == unreachable);
        }
        EXPECT_EQ(told.size(), before + (row.told ? 1 : 0));
        if (row.told) {
            EXPECT_EQ(told.back().value_or(""), row.lack);
        }
        EXPECT_EQ(watch.availability().state, row.after);
    }
}

}  // namespace
}  // namespace zentrabo::platform
