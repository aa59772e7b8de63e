// What the server makes of the stream server's reports.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/capture_start.hpp"
#include "server/streams/screen_streams.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

class ScreenStreamsTest : public ::testing::Test {
protected:
    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop =
        platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    std::vector<std::string> marked;
    ScreenStreams streams{{clock, mainLoop.executor(), *desktop, startCaptureMedia,
                           [this](const std::string& fingerprint) { marked.push_back(fingerprint); }}};
};

TEST_F(ScreenStreamsTest, AClientWhoseLastStreamEndedIsMarkedActive) {
    struct Row {
        std::size_t count;
        std::set<std::string> fingerprints;
        std::vector<std::string> marked;
    };
    const std::vector<Row> rows = {
        {1, {"a"}, {}},      {3, {"a", "b", "c"}, {}}, {2, {"a", "c"}, {"b"}},  // b's only stream ended
        {2, {"a", "c"}, {}},  // a stream of a or c ended, another runs
        {0, {}, {"a", "c"}},  // both at once
    };
    for (const auto& row : rows) {
        marked.clear();
        streams.handleStreamSessionsChange(row.count, row.fingerprints);
        EXPECT_EQ(*streams.activeScreenStreamCount(), row.count);
        EXPECT_EQ(*streams.streamingClientCertificateFingerprints(), row.fingerprints);
        EXPECT_EQ(marked, row.marked);
    }
}

TEST_F(ScreenStreamsTest, TheStreamServerIsMadeOnFirstUseOnly) {
    const auto first = streams.screenStreamServer();
    EXPECT_EQ(first, streams.screenStreamServer());
}

}  // namespace
}  // namespace zentrabo::testing
