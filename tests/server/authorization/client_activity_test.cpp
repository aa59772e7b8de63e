#include "server/authorization/client_activity.hpp"

#include <gtest/gtest.h>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"

namespace zentrabo {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

class ClientActivityTest : public ::testing::Test {
protected:
    void advance(double seconds) {
        clock.advance(seconds);
        loop.runReady();
    }

    platform::ManualClock clock{platform::Date{1000.0}};
    platform::MainLoop loop;
    int changes = 0;
    ClientActivityTracker tracker{clock, loop.executor(), [this] { ++changes; }};
};

TEST_F(ClientActivityTest, MarkWithoutChannelKeepsTheRecordedOneAndClearCancelsTheExpiry) {
    tracker.mark("aa", Channel::relay);
    tracker.mark("bb", Channel::local);
    advance(10.0);
    tracker.mark("aa", std::nullopt);
    EXPECT_EQ(tracker.channels().at("aa"), Channel::relay);
    tracker.clear("bb");
    EXPECT_EQ(tracker.activeFingerprints(), std::set<std::string>{"aa"});
    advance(10.0);
    EXPECT_EQ(tracker.activeFingerprints(), std::set<std::string>{"aa"});
    advance(10.0);
    EXPECT_TRUE(tracker.activeFingerprints().empty());
}

}  // namespace
}  // namespace zentrabo
