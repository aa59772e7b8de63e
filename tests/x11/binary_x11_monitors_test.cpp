// Monitors added and removed (xrandr --setmonitor, --delmonitor) while the
// built binary (--desktop x11) runs on an X server of the test's own, which
// announces no such change: the display list, a display screenshot and a
// display stream follow at once. Its own server, so the shared session's two
// monitors stay as every other test expects them.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/binary_harness.hpp"
#include "support/device_request.hpp"
#include "support/screenshot_picture.hpp"
#include "support/stream_client.hpp"
#include "support/x11_witness.hpp"
#include "x11/own_x_server.hpp"

namespace zentrabo::testing {
namespace {

class OwnDisplayForMonitors : public ::testing::Test {
protected:
    OwnXServer xServer;
};

class BinaryX11Monitors : public BinaryServerTestOn<OwnDisplayForMonitors> {
protected:
    void SetUp() override {
        ASSERT_FALSE(xServer.name().empty()) << "no X server of the test's own";
        serverArguments = {"--desktop", "x11"};
        serverEnvironment = {"DISPLAY=" + xServer.name()};
        BinaryServerTestOn<OwnDisplayForMonitors>::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    void xrandr(const std::string& arguments) { witnessOutput("xrandr -d " + xServer.name() + " " + arguments); }

    // The display's screenshot through a workflow step; the main display's
    // without an id.
    platform::RgbaImage screenshot(std::optional<std::uint32_t> display) {
        MenuWorkflowStep step;
        step.id = "step-" + std::to_string(++number);
        step.kind = "displayScreenshot";
        step.title = "Screenshot";
        step.delayAfter = 0;
        step.screenshotDisplayID = display;
        auto request = deviceRequest("S-" + std::to_string(number), "workflow");
        request.workflowSteps = std::vector{step};
        return onlyScreenshot(send(phone, request));
    }

    TestDevice phone;
    int number = 0;
};

TEST_F(BinaryX11Monitors, TheListScreenshotsAndStreamsFollowMonitorsTheServerDoesNotAnnounce) {
    struct Row {
        const char* what;
        std::vector<std::string> changes;
        // The main display's size and the other monitors' sizes, in the
        // list's order; "All Monitors" comes with two or more.
        std::pair<std::uint32_t, std::uint32_t> main;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> others;
    };
    const Row rows[] = {
        {"split side by side",
         {"--setmonitor '*Left' 200/50x480/120+0+0 screen", "--setmonitor Right 440/110x480/120+200+0 none"},
         {200, 480},
         {{440, 480}}},
        {"the right one removed", {"--delmonitor Right"}, {200, 480}, {}},
        {"the main one replaced by two stacked",
         {"--delmonitor Left", "--setmonitor '*Top' 640/160x160/40+0+0 screen",
          "--setmonitor Bottom 640/160x320/80+0+160 none"},
         {640, 160},
         {{640, 320}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const auto& change : row.changes) xrandr(change);

        const auto listed = send(phone, deviceRequest("D-" + std::to_string(++number), "screenshotDisplays"));
        ASSERT_TRUE(listed.ok && listed.displays) << listed.error.value_or("");
        const auto& displays = *listed.displays;
        ASSERT_EQ(displays.size(), row.others.empty() ? 1u : row.others.size() + 2);
        EXPECT_TRUE(displays[0].isMain);
        EXPECT_EQ(std::make_pair(displays[0].pixelWidth, displays[0].pixelHeight),
                  std::make_pair(std::int64_t(row.main.first), std::int64_t(row.main.second)));
        std::vector<std::pair<std::uint32_t, std::uint32_t>> others;
        for (std::size_t index = 2; index < displays.size(); ++index) {
            others.emplace_back(displays[index].pixelWidth, displays[index].pixelHeight);
            const auto picture = screenshot(displays[index].displayID);
            EXPECT_EQ(std::make_pair(picture.width, picture.height), others.back());
        }
        EXPECT_EQ(others, row.others);

        const auto main = screenshot(std::nullopt);
        EXPECT_EQ(std::make_pair(main.width, main.height), row.main);

        auto stream = openStream(phone, port, serverFingerprint, smallStreamRequest(RemoteScreenStreamMode::display));
        EXPECT_TRUE(stream->waitUntil([&] { return stream->isClosed() || !announcedSizes(stream->frames()).empty(); },
                                      std::chrono::seconds(10)));
        EXPECT_FALSE(stream->isClosed()) << "the stream ended: " << stream->undecoded();
        const auto [width, height] = announcedSize(stream->frames());
        // Scaled to its longer side, the shape kept (sides are even).
        ASSERT_GT(height, 0u);
        EXPECT_NEAR(double(width) / height, double(row.main.first) / row.main.second, 0.02);
    }
}

}  // namespace
}  // namespace zentrabo::testing
