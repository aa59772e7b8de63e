// An application's sound as PulseSoundCapture hears it from the tests'
// sound server: only that application's playback, picked up when it starts
// after the capture did, whether or not the output was already playing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "platform/desktop/pulse/pulse_sound_capture.hpp"
#include "support/test_application.hpp"
#include "support/x11_session.hpp"

namespace zentrabo::testing {
namespace {

class PulseSoundCaptureTest : public X11SessionTest {};

// The root mean square of the samples.
double level(const std::vector<float>& samples) {
    double sum = 0;
    for (const float sample : samples) sum += double(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

TEST_F(PulseSoundCaptureTest, AnApplicationsPlaybackThatStartsLaterIsPickedUp) {
    struct Row {
        const char* what;
        bool otherPlays;
    };
    const Row rows[] = {
        {"while another application plays", true},
        {"while the output is idle", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<TestApplication> other;
        if (row.otherPlays) {
            other =
                std::make_unique<TestApplication>(TestApplicationOptions{{{"Other", 200, 200, {{2600, 400}}, {}, {}}},
                                                                         std::string(kSecondTestApplicationId),
                                                                         {"--tone", "300"}});
            ASSERT_TRUE(other->reports().waitFor("tone"));
        }
        TestApplication application({{{"Late", 200, 200, {{2200, 400}}, {}, {}}},
                                     std::string(kTestApplicationId),
                                     {"--tone", "700", "--tone-after", "3"}});
        platform::PulseSoundCapture capture(application.pid(), 48000, 2);
        // Another application is not heard. Silence says so only while the
        // application's own tone has not begun, which a very loaded machine
        // may reach first.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const double before = level(capture.take(4800));
        if (!application.reports().waitFor("tone", {}, std::chrono::milliseconds(0))) {
            EXPECT_EQ(before, 0.0);
            ASSERT_TRUE(application.reports().waitFor("tone"));
        }
        // The tone has played for at least 100 ms when it is reported, so a
        // capture that keeps up hears it within the first polls; a tone at
        // 0.3 of full scale has a level of about 0.21.
        bool heard = false;
        for (int poll = 0; poll < 10 && !heard; ++poll) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            heard = level(capture.take(4800)) > 0.15;
        }
        EXPECT_TRUE(heard) << "the application's tone was not picked up";
    }
}

}  // namespace
}  // namespace zentrabo::testing
