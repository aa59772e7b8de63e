// The pointer controller against a virtual desktop: where its events land,
// which events a message posts, scrolling, pinching and head pose.
#include <gmock/gmock.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/remote_screen_pointer_controller.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using PointerKind = RemoteScreenPointerEventKind;
using platform::Point;
using platform::Rect;
using ::testing::IsEmpty;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

RemoteScreenHeadPoseEvent headPose(double yaw, double pitch, double sensitivity) {
    RemoteScreenHeadPoseEvent event;
    event.yawDelta = yaw;
    event.pitchDelta = pitch;
    event.sensitivityX = sensitivity;
    event.sensitivityY = sensitivity;
    return event;
}

class PointerControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home.logFolder());
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1000, 800});
        desktop = platform::VirtualDesktop::create(builder.build(), clock);
    }

    std::unique_ptr<RemoteScreenPointerController> controller(Rect bounds = {0, 0, 1000, 800},
                                                              std::optional<Point> location = {}) {
        desktop->clearJournal();
        return std::make_unique<RemoteScreenPointerController>(*desktop, bounds, location);
    }

    // The events posted since the controller was made, as the desktop describes them.
    std::vector<std::string> posted() {
        std::vector<std::string> events;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "post") events.push_back(entry.detail);
        }
        return events;
    }

    TemporaryHome home;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    std::shared_ptr<platform::VirtualDesktop> desktop;
};

TEST_F(PointerControllerTest, PositionsStayInsideTheClampRectangle) {
    struct Row {
        const char* name;
        Rect bounds;
        std::optional<Point> start;
        std::vector<RemoteScreenPointerEvent> events;
        Point expected;
        std::optional<RemoteScreenHeadPoseEvent> pose = {};
    };
    const std::vector<Row> rows = {
        {"relative move, scaled", {0, 0, 1000, 800}, Point{100, 100}, {{PointerKind::move, 10, -4}}, {115, 94}},
        {"move far outside", {0, 0, 1000, 800}, Point{100, 100}, {{PointerKind::move, 5000, -5000}}, {999, 1}},
        {"move to the top left", {0, 0, 1000, 800}, {}, {{PointerKind::moveTo, 0, 0}}, {1, 1}},
        {"move to the bottom right", {0, 0, 1000, 800}, {}, {{PointerKind::moveTo, 1, 1}}, {999, 799}},
        {"normalized values beyond 0 ... 1", {0, 0, 1000, 800}, {}, {{PointerKind::moveTo, -3, 7}}, {1, 799}},
        {"infinite normalized values", {0, 0, 1000, 800}, {}, {{PointerKind::moveTo, infinity, -infinity}}, {999, 1}},
        {"NaN normalized values count as 0", {0, 0, 1000, 800}, {}, {{PointerKind::moveTo, nan, nan}}, {1, 1}},
        {"NaN relative deltas count as 0",
         {0, 0, 1000, 800},
         Point{100, 100},
         {{PointerKind::move, nan, 10}},
         {100, 115}},
        {"NaN drag deltas count as 0",
         {0, 0, 1000, 800},
         Point{100, 100},
         {{PointerKind::dragMove, 4, nan}},
         {106, 100}},
        {"NaN pinch anchor counts as 0", {0, 0, 1000, 800}, {}, {{PointerKind::pinchStart, nan, 0.5}}, {1, 400}},
        {"start outside is clamped", {100, 50, 400, 300}, Point{0, 1000}, {}, {101, 349}},
        {"no start: the centre", {100, 50, 400, 300}, {}, {}, {300, 200}},
        {"bounds with negative size are standardized",
         {500, 350, -400, -300},
         {},
         {{PointerKind::moveTo, 0, 0}},
         {101, 51}},
        {"two points wide: no inset", {10, 0, 2, 800}, {}, {{PointerKind::moveTo, 1, 1}}, {12, 800}},
        {"two points high: no inset", {0, 10, 1000, 2}, {}, {{PointerKind::moveTo, 0, 0}}, {0, 10}},
        {"head pose limited to 80 points", {0, 0, 1000, 800}, Point{500, 400}, {}, {580, 320}, headPose(1000, 1000, 1)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto pointer = controller(row.bounds, row.start);
        for (const auto& event : row.events) pointer->handle(event);
        if (row.pose) pointer->handleHeadPose(*row.pose);
        EXPECT_EQ(pointer->location(), row.expected);
        // What was posted last lies where the controller believes it is.
        const auto events = desktop->postedEvents();
        if (!events.empty()) {
            const auto* mouse = std::get_if<platform::MouseEvent>(&events.back());
            ASSERT_TRUE(mouse);
            EXPECT_EQ(mouse->location, row.expected);
        }
    }
}

TEST_F(PointerControllerTest, EachMessagePostsItsEvents) {
    struct Row {
        const char* name;
        std::vector<RemoteScreenPointerEvent> events;
        std::vector<std::string> expected;
    };
    const std::string none = " flags 0x0";
    const std::string option = " flags 0x80000";
    const std::vector<Row> rows = {
        {"double click",
         {{PointerKind::leftDoubleClickAt, 0.5, 0.5}},
         {"mouse moved at (500, 400) clicks 1" + none, "mouse leftDown at (500, 400) clicks 1" + none,
          "mouse leftUp at (500, 400) clicks 1" + none, "mouse leftDown at (500, 400) clicks 2" + none,
          "mouse leftUp at (500, 400) clicks 2" + none}},
        {"right click at a point",
         {{PointerKind::rightClickAt, 0, 0}},
         {"mouse moved at (1, 1) clicks 1" + none, "mouse rightDown at (1, 1) clicks 1" + none,
          "mouse rightUp at (1, 1) clicks 1" + none}},
        {"a drag move without a drag start presses first",
         {{PointerKind::dragMove, 10, 0}, {PointerKind::dragEnd, 0, 0}},
         {"mouse leftDown at (500, 400) clicks 1" + none, "mouse leftDragged at (515, 400) clicks 1" + none,
          "mouse leftUp at (515, 400) clicks 1" + none}},
        {"a second drag start posts nothing",
         {{PointerKind::dragStart, 0, 0},
          {PointerKind::dragStart, 0, 0},
          {PointerKind::dragEnd, 0, 0},
          {PointerKind::dragEnd, 0, 0}},
         {"mouse leftDown at (500, 400) clicks 1" + none, "mouse leftUp at (500, 400) clicks 1" + none}},
        {"a move during a drag is a plain move and keeps the button down",
         {{PointerKind::dragStart, 0, 0}, {PointerKind::move, 2, 0}, {PointerKind::dragEnd, 0, 0}},
         {"mouse leftDown at (500, 400) clicks 1" + none, "mouse moved at (503, 400) clicks 1" + none,
          "mouse leftUp at (503, 400) clicks 1" + none}},
        {"pinch: a spread drags upwards, at most 260 points; another kind lets go first",
         {{PointerKind::pinchStart, 0.5, 0.5},
          {PointerKind::pinchChange, 1, 0},
          {PointerKind::pinchChange, std::exp(1.0), 0},
          {PointerKind::pinchChange, 1e9, 0},
          {PointerKind::leftClick, 0, 0}},
         {"key 58 down flags 0x80000", "mouse moved at (500, 400) clicks 1" + option,
          "mouse leftDown at (500, 400) clicks 1" + option, "mouse leftDragged at (500, 220) clicks 1" + option,
          "mouse leftDragged at (500, 140) clicks 1" + option, "mouse leftUp at (500, 140) clicks 1" + option,
          "key 58 up flags 0x0", "mouse leftDown at (500, 140) clicks 1" + none,
          "mouse leftUp at (500, 140) clicks 1" + none}},
        {"pinch changes without a pinch, and unusable scales, post nothing",
         {{PointerKind::pinchChange, 2, 0}, {PointerKind::pinchEnd, 0, 0}},
         {}},
        {"a pinch start ends a drag first",
         {{PointerKind::dragStart, 0, 0},
          {PointerKind::pinchStart, 0, 0},
          {PointerKind::pinchChange, 0, 0},
          {PointerKind::pinchChange, nan, 0},
          {PointerKind::pinchEnd, 0, 0}},
         {"mouse leftDown at (500, 400) clicks 1" + none, "mouse leftUp at (500, 400) clicks 1" + none,
          "key 58 down flags 0x80000", "mouse moved at (1, 1) clicks 1" + option,
          "mouse leftDown at (1, 1) clicks 1" + option, "mouse leftUp at (1, 1) clicks 1" + option,
          "key 58 up flags 0x0"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto pointer = controller();
        for (const auto& event : row.events) pointer->handle(event);
        EXPECT_EQ(posted(), row.expected);
        EXPECT_THAT(desktop->heldMouseButtons(), IsEmpty());
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }
}

TEST_F(PointerControllerTest, ScrollsInPixelsWithPhasesAndInLinesFromLargerDeltas) {
    struct Row {
        double deltaX, deltaY;
        std::vector<std::string> expected;
    };
    const auto pixels = [](int y, int x) {
        const std::string at = " at (500, 400) continuous phase ";
        return std::vector<std::string>{"scroll pixels 0, 0" + at + "1",
                                        "scroll pixels " + std::to_string(y) + ", " + std::to_string(x) + at + "2",
                                        "scroll pixels 0, 0" + at + "4"};
    };
    const auto withLines = [](std::vector<std::string> events, int y, int x) {
        events.push_back("scroll lines " + std::to_string(y) + ", " + std::to_string(x) +
                         " at (500, 400) stepped phase 0");
        return events;
    };
    const std::vector<Row> rows = {
        {0, 0.2, pixels(1, 0)},
        {0, 100, withLines(pixels(180, 0), 8, 0)},
        {0, 1000, withLines(pixels(900, 0), 8, 0)},
        {0, -10, pixels(-18, 0)},
        {-12.5, 0, withLines(pixels(0, -23), 0, -1)},
        {0, 0, {}},
        {nan, infinity, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.deltaX << ", " << row.deltaY);
        auto pointer = controller();
        pointer->handle({PointerKind::scroll, row.deltaX, row.deltaY});
        EXPECT_EQ(posted(), row.expected);
        EXPECT_EQ(pointer->location(), (Point{500, 400})) << "scrolling moves nothing";
    }
}

TEST_F(PointerControllerTest, AScrollAtTheFarEdgeIsPlacedAtTheCentre) {
    auto pointer = controller({100, 100, 200, 100});
    pointer->handle({PointerKind::moveTo, 1, 1});
    desktop->clearJournal();
    pointer->handle({PointerKind::scroll, 0, 1});
    ASSERT_FALSE(posted().empty());
    EXPECT_EQ(posted()[0], "scroll pixels 0, 0 at (200, 150) continuous phase 1");
}

TEST_F(PointerControllerTest, ScrollDiagnosticsComeAtMostTwiceASecond) {
    auto pointer = controller();
    for (int step = 0; step < 8; ++step) {
        pointer->handle({PointerKind::scroll, 0, 0.2});
        clock.advance(0.2);
    }
    // At 0, 0.6 and 1.2 s.
    EXPECT_EQ(home.logCount("Screen stream scroll "), 3u);
    EXPECT_EQ(home.logCount("Screen stream scroll deltaX=0 deltaY=0.2 wheelX=0 wheelY=1 location=(500, 400)"), 3u);
}

TEST_F(PointerControllerTest, HeadPoseMovesThePointerAndEndsADragEvenWhenItsNumbersAreUnusable) {
    struct Row {
        const char* name;
        RemoteScreenHeadPoseEvent pose;
        std::vector<std::string> afterTheRelease;
    };
    const std::vector<Row> rows = {
        {"sensitivity 0", headPose(5, 5, 0), {}},
        {"NaN yaw", headPose(nan, 1, 1), {}},
        {"infinite pitch", headPose(1, infinity, 1), {}},
        {"no movement", headPose(0, 0, 2), {}},
        {"yaw right, pitch up moves up", headPose(10, 3, 2), {"mouse moved at (520, 394) clicks 1 flags 0x0"}},
    };
    for (const bool pinching : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (pinching ? " while pinching" : " while dragging"));
            auto pointer = controller();
            pointer->handle(pinching ? RemoteScreenPointerEvent{PointerKind::pinchStart, 0.5, 0.5}
                                     : RemoteScreenPointerEvent{PointerKind::dragStart, 0, 0});
            desktop->clearJournal();
            pointer->handleHeadPose(row.pose);
            auto events = posted();
            ASSERT_GE(events.size(), pinching ? 2u : 1u);
            EXPECT_THAT(events[0], ::testing::StartsWith("mouse leftUp at (500, 400)"));
            events.erase(events.begin(), events.begin() + (pinching ? 2 : 1));
            EXPECT_EQ(events, row.afterTheRelease);
            EXPECT_THAT(desktop->heldMouseButtons(), IsEmpty());
            EXPECT_THAT(desktop->heldKeys(), IsEmpty());
        }
    }
}

TEST_F(PointerControllerTest, EveryEventIsPostedUnderTheDesktopsInputLock) {
    // So a click never lands inside another caller's key sequence.
    std::vector<bool> lockHeld;
    desktop->setPostHook([&](const platform::InputEvent&) {
        const bool free = desktop->inputLock().try_lock();
        if (free) desktop->inputLock().unlock();
        lockHeld.push_back(!free);
    });
    auto pointer = controller();
    pointer->handle({PointerKind::leftDoubleClickAt, 0.5, 0.5});
    pointer->handle({PointerKind::scroll, 0, 100});
    pointer->handle({PointerKind::pinchStart, 0.5, 0.5});
    pointer->handleHeadPose(headPose(1, 1, 1));
    pointer->handle({PointerKind::dragStart, 0, 0});
    pointer->release();
    desktop->setPostHook(nullptr);
    EXPECT_EQ(lockHeld.size(), 17u);
    EXPECT_THAT(lockHeld, ::testing::Each(true));
}

TEST_F(PointerControllerTest, AnEventThatCannotBeMadeIsSkippedAndTheMessageGoesOn) {
    auto pointer = controller();
    desktop->failPost(1);
    pointer->handle({PointerKind::leftClickAt, 0, 0});
    EXPECT_EQ(posted(), (std::vector<std::string>{"mouse leftDown at (1, 1) clicks 1 flags 0x0",
                                                  "mouse leftUp at (1, 1) clicks 1 flags 0x0"}));
    EXPECT_EQ(pointer->location(), (Point{1, 1}));
}

}  // namespace
}  // namespace zentrabo::testing
