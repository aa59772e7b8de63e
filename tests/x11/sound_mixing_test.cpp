// The pieces of session sound capture that need no sound server: the
// mixer of several playback streams, the pacing of 10 ms buffers on the
// capture clock, and whose process a playback stream counts as.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/audio_buffer_pacing.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/pulse/sound_mixer.hpp"

namespace zentrabo::testing {
namespace {

using platform::AudioBufferPacing;
using platform::SoundMixer;

TEST(SoundMixer, MixesBoundsAndLetsGoOfSources) {
    struct Append {
        std::uint32_t source;
        std::vector<float> samples;
    };
    struct Row {
        const char* what;
        std::uint32_t channels;
        std::int64_t maximumFrames, keptFrames;
        std::vector<Append> appends;
        std::vector<std::uint32_t> removed;
        // Frames taken one after the other, and what each gives.
        std::vector<std::pair<std::int64_t, std::vector<float>>> takes;
    };
    const std::vector<Row> rows = {
        {"two sources summed, the shorter one padded with silence",
         1,
         100,
         10,
         {{1, {0.1f, 0.2f, 0.3f}}, {2, {0.5f}}},
         {},
         {{3, {0.6f, 0.2f, 0.3f}}}},
        {"a sum beyond full scale is clipped",
         1,
         100,
         10,
         {{1, {0.8f, -0.8f}}, {2, {0.7f, -0.7f}}},
         {},
         {{2, {1.0f, -1.0f}}}},
        {"a trailing partial frame is dropped",
         2,
         100,
         10,
         {{1, {0.1f, 0.2f, 0.3f}}},
         {},
         {{2, {0.1f, 0.2f, 0.0f, 0.0f}}}},
        {"what is taken is gone, the rest comes next",
         1,
         100,
         10,
         {{1, {0.1f, 0.2f, 0.3f}}},
         {},
         {{2, {0.1f, 0.2f}}, {2, {0.3f, 0.0f}}}},
        {"a source that runs over keeps its newest",
         1,
         4,
         2,
         {{1, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}}},
         {},
         {{3, {0.4f, 0.5f, 0.0f}}}},
        {"a source let go is not heard", 1, 100, 10, {{1, {0.1f}}, {2, {0.2f}}}, {1}, {{1, {0.2f}}}},
        {"nothing at all is silence", 2, 100, 10, {}, {}, {{1, {0.0f, 0.0f}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SoundMixer mixer(row.channels, row.maximumFrames, row.keptFrames);
        for (const auto& append : row.appends) mixer.append(append.source, append.samples);
        for (const auto source : row.removed) mixer.removeSource(source);
        for (const auto& [frames, expected] : row.takes) {
            const auto mixed = mixer.take(frames);
            ASSERT_EQ(mixed.size(), expected.size());
            for (std::size_t index = 0; index < mixed.size(); ++index) EXPECT_FLOAT_EQ(mixed[index], expected[index]);
        }
    }
}

TEST(SoundMixer, LateSamplesAreDroppedWholeAndQuietSourcesOweNothing) {
    // One step: samples appended to source 1 (take == 0), or a take of that
    // many frames with what it gives; lagging is asked for 2 frames before.
    struct Step {
        std::vector<float> appended;
        std::int64_t take;
        std::vector<float> given;
        bool lagging;
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
    };
    const std::vector<Row> rows = {
        {"a source heard and then late: its late samples are dropped, the rest follow in step",
         {{{0.1f, 0.2f}, 0, {}, false},
          {{}, 2, {0.1f, 0.2f}, false},
          {{}, 2, {0.0f, 0.0f}, true},
          {{0.3f, 0.4f, 0.5f, 0.6f}, 0, {}, false},
          {{}, 2, {0.5f, 0.6f}, false}}},
        {"a short take owes only the part filled with silence",
         {{{0.1f, 0.2f, 0.3f}, 0, {}, false},
          {{}, 2, {0.1f, 0.2f}, false},
          {{}, 2, {0.3f, 0.0f}, true},
          {{0.4f, 0.5f, 0.6f}, 0, {}, false},
          {{}, 2, {0.5f, 0.6f}, false}}},
        {"a source quiet for more than a take owes nothing more and is not waited for",
         {{{0.1f, 0.2f}, 0, {}, false},
          {{}, 2, {0.1f, 0.2f}, false},
          {{}, 2, {0.0f, 0.0f}, true},
          {{}, 2, {0.0f, 0.0f}, false},
          {{}, 2, {0.0f, 0.0f}, false},
          {{0.3f, 0.4f, 0.5f, 0.6f}, 0, {}, false},
          {{}, 2, {0.5f, 0.6f}, false}}},
        {"a new source is not waited for and owes nothing",
         {{{0.1f}, 0, {}, false},
          {{}, 2, {0.1f, 0.0f}, false},
          {{0.2f, 0.3f}, 0, {}, false},
          {{}, 2, {0.2f, 0.3f}, false}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SoundMixer mixer(1, 100, 10);
        for (std::size_t index = 0; index < row.steps.size(); ++index) {
            SCOPED_TRACE(index);
            const Step& step = row.steps[index];
            if (step.take == 0) {
                mixer.append(1, step.appended);
                continue;
            }
            EXPECT_EQ(mixer.lagging(2), step.lagging);
            const auto mixed = mixer.take(step.take);
            ASSERT_EQ(mixed.size(), step.given.size());
            for (std::size_t sample = 0; sample < mixed.size(); ++sample) {
                EXPECT_FLOAT_EQ(mixed[sample], step.given[sample]);
            }
        }
    }
}

TEST(AudioBufferPacing, HandsOutBuffersWhenTheyAreDueAndSkipsWhatIsTooLate) {
    AudioBufferPacing pacing;
    pacing.start(10.0, 0.03);
    struct Step {
        double now;
        std::int64_t first, end;
        double untilNext;
    };
    const Step steps[] = {
        // The first buffer ends at 10.01 and is due 30 ms later.
        {10.035, 0, 0, 0.005},
        {10.04, 0, 1, 0.01},
        {10.075, 1, 4, 0.005},
        // A clock that went back hands out nothing again.
        {10.05, 4, 4, 0.03},
        // After a stall of seconds only the last second's buffers follow.
        {13.5, 247, 347, 0.01},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.now);
        const auto due = pacing.take(step.now);
        EXPECT_EQ(due.first, step.first);
        EXPECT_EQ(due.end, step.end);
        EXPECT_NEAR(pacing.untilNext(step.now), step.untilNext, 1e-9);
    }
    // Buffers given back come again at the next take; none beyond what was
    // handed out can be.
    pacing.giveBack(400);
    pacing.giveBack(340);
    const auto again = pacing.take(13.5);
    EXPECT_EQ(again.first, 340);
    EXPECT_EQ(again.end, 347);
    EXPECT_NEAR(pacing.dueAt(5), 10.09, 1e-9);
    EXPECT_EQ(pacing.time(5), std::chrono::milliseconds(10'050));
    // Buffers of a rate that is no multiple of 100 meet without a gap.
    EXPECT_EQ(AudioBufferPacing::firstFrame(1, 22050), 220);
    EXPECT_EQ(AudioBufferPacing::firstFrame(2, 22050), 441);
}

TEST(ProcessAncestry, CountsTheProcessAndItsDescendantsOnly) {
    // child -> parent
    const std::map<platform::ProcessID, platform::ProcessID> parents = {{10, 1}, {11, 10}, {12, 11},
                                                                        {20, 1}, {30, 31}, {31, 30}};
    const auto parentOf = [&](platform::ProcessID pid) {
        const auto found = parents.find(pid);
        return found == parents.end() ? 0 : found->second;
    };
    struct Row {
        platform::ProcessID pid, ancestor;
        bool counts;
    };
    const Row rows[] = {
        {10, 10, true},  {11, 10, true}, {12, 10, true},
        {20, 10, false}, {1, 10, false}, {30, 10, false},  // a cycle ends the walk
        {0, 10, false},  {10, 0, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::isProcessOrDescendant(row.pid, row.ancestor, parentOf), row.counts)
            << row.pid << " of " << row.ancestor;
    }
    EXPECT_EQ(platform::parentProcess(getpid()), getppid());
    EXPECT_TRUE(platform::isProcessOrDescendant(getpid(), getppid()));
}

}  // namespace
}  // namespace zentrabo::testing
