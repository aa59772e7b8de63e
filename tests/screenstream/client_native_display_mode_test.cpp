// The client-native display mode: which mode fits a device best, when two
// modes are one, and a session that switches displays for a stream and puts
// them back, also when the stream stops in the middle of a switch.
#include <gmock/gmock.h>

#include <functional>

#include "direct_session_fixture.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/display_mode_choice.hpp"

namespace zentrabo::testing {
namespace {

using platform::DisplayMode;

DisplayMode mode(std::int64_t w, std::int64_t h, std::int64_t pw, std::int64_t ph, double hz = 60,
                 std::int32_t id = 0) {
    return {w, h, pw, ph, hz, id, 0, true};
}

TEST(DisplayModeChoiceTest, TheClosestCandidateWinsAndTheFirstListedKeepsATie) {
    struct Row {
        const char* name;
        std::vector<DisplayMode> modes;
        DisplayMode current;
        double width, height;
        std::optional<std::size_t> chosen;  // index into modes
    };
    DisplayMode unusable = mode(1280, 720, 1280, 720, 60, 4);
    unusable.usableForDesktopGUI = false;
    const std::vector<Row> rows = {
        {"the exact size",
         {mode(1920, 1080, 1920, 1080), mode(1280, 720, 1280, 720), mode(2560, 1440, 2560, 1440)},
         mode(1920, 1080, 1920, 1080),
         1280,
         720,
         1},
        {"too few pixels is no candidate",
         {mode(1024, 576, 1024, 576), mode(1440, 810, 1440, 810)},
         mode(1024, 576, 1024, 576),
         1280,
         720,
         1},
        {"unusable and tiny modes are no candidates",
         {unusable, mode(600, 400, 2400, 1600), mode(1600, 900, 1600, 900)},
         mode(1600, 900, 1600, 900),
         1280,
         720,
         2},
        {"equal scores keep the first listed",
         {mode(1280, 720, 1280, 720, 60, 5), mode(1280, 720, 1280, 720, 60, 6)},
         mode(800, 600, 800, 600),
         1280,
         720,
         0},
        {"the current refresh rate is preferred",
         {mode(1280, 720, 1280, 720, 30), mode(1280, 720, 1280, 720, 60)},
         mode(800, 600, 800, 600, 60),
         1280,
         720,
         1},
        {"pixels near the target outweigh density",
         {mode(1280, 720, 2560, 1440), mode(1280, 720, 1280, 720)},
         mode(800, 600, 800, 600),
         1280,
         720,
         1},
        {"a small target is compared as 640 x 480",
         {mode(800, 600, 800, 600), mode(640, 480, 640, 480)},
         mode(800, 600, 800, 600),
         400,
         300,
         1},
        {"nothing large enough",
         {mode(1920, 1080, 1920, 1080)},
         mode(1920, 1080, 1920, 1080),
         4000,
         3000,
         std::nullopt},
    };
    for (const auto& row : rows) {
        const auto best = bestDisplayMode(row.modes, row.current, row.width, row.height);
        ASSERT_EQ(best.has_value(), row.chosen.has_value()) << row.name;
        if (best) {
            EXPECT_EQ(*best, row.modes[*row.chosen]) << row.name;
        }
    }
}

TEST(DisplayModeChoiceTest, ModesMatchByIdentifierOrByEverythingElse) {
    DisplayMode flagged = mode(1280, 720, 2560, 1440);
    flagged.ioFlags = 2;
    const struct {
        const char* name;
        DisplayMode a, b;
        bool match;
    } rows[] = {
        {"same identifier, other sizes", mode(1280, 720, 2560, 1440, 60, 3), mode(800, 600, 800, 600, 30, 3), true},
        {"other identifiers, same values", mode(1280, 720, 2560, 1440, 60, 3), mode(1280, 720, 2560, 1440, 60, 4),
         true},
        {"rates 0.05 Hz apart", mode(1280, 720, 2560, 1440, 59.95), mode(1280, 720, 2560, 1440, 60), true},
        {"rates 0.1 Hz apart", mode(1280, 720, 2560, 1440, 59.9), mode(1280, 720, 2560, 1440, 60), false},
        {"other pixels", mode(1280, 720, 2560, 1440), mode(1280, 720, 1280, 720), false},
        {"other flags", mode(1280, 720, 2560, 1440), flagged, false},
    };
    for (const auto& row : rows) EXPECT_EQ(displayModesMatch(row.a, row.b), row.match) << row.name;
    EXPECT_EQ(displayModeDescription(mode(1512, 982, 3024, 1964, 119.96)), "1512x982 pt / 3024x1964 px @120.0Hz");
    EXPECT_EQ(targetSizeDescription(2555.5, 1179.4), "2556x1179");
}

class ClientNativeDisplayModeTest : public DirectSessionTest {
public:  // the tables' steps reach in
    // Display 1 runs 1440 x 900 points at scale 2; display 2 runs 1920 x 1080 at scale 1.
    static platform::DesktopBuilder scenario() {
        platform::DesktopBuilder builder;
        platform::ScenarioDisplay first;
        first.id = 1;
        first.bounds = {0, 0, 1440, 900};
        first.scale = 2;
        first.modes = {mode(1280, 720, 2560, 1440), mode(1920, 1080, 1920, 1080)};
        platform::ScenarioDisplay second;
        second.id = 2;
        second.bounds = {1440, 0, 1920, 1080};
        second.modes = {mode(1280, 720, 1280, 720)};
        builder.display(first).display(second);
        return builder;
    }

    static RemoteScreenStreamRequest request(RemoteScreenStreamRenderSizingMode sizing, std::int64_t width,
                                             std::int64_t height) {
        RemoteScreenStreamRequest options;
        options.renderSizingMode = sizing;
        options.clientRenderPixelWidth = width;
        options.clientRenderPixelHeight = height;
        return options;
    }

    bool applyOn(platform::DisplayID display) {
        SelectedContent selected;
        selected.displayID = display;
        return applyClientNativeDisplayModeIfNeeded(*session, selected);
    }

    std::string current(platform::DisplayID display) { return displayModeDescription(*desktop->currentMode(display)); }
};

TEST_F(ClientNativeDisplayModeTest, TheDisplayIsSwitchedForTheDeviceAndPutBackAtTheStop) {
    const std::string original1 = "1440x900 pt / 2880x1800 px @60.0Hz";
    const std::string switched1 = "1280x720 pt / 2560x1440 px @60.0Hz";
    const std::string original2 = "1920x1080 pt / 1920x1080 px @60.0Hz";
    const std::string switched2 = "1280x720 pt / 1280x720 px @60.0Hz";
    const auto native = [](std::int64_t w, std::int64_t h) {
        return request(RemoteScreenStreamRenderSizingMode::clientNative, w, h);
    };
    struct Row {
        const char* name;
        RemoteScreenStreamRequest options;
        std::function<void(ClientNativeDisplayModeTest&)> before;
        std::vector<platform::DisplayID> displays;  // applied in turn
        std::function<void(ClientNativeDisplayModeTest&)> beforeStop;
        bool lastSwitched;
        std::vector<std::string> lines;  // the log, stop included
    };
    const std::vector<Row> rows = {
        {"switched and restored",
         native(1280, 720),
         {},
         {1},
         {},
         true,
         {"Client Native display mode applied for display 1 (stream start): " + original1 + " -> " + switched1 +
              ", target 1280x720.",
          "Client Native display mode restored for display 1: " + original1 + "."}},
        {"the best mode runs already", native(2880, 1800), {}, {1}, {}, false, {}},
        {"a stream of source size",
         request(RemoteScreenStreamRenderSizingMode::source, 1280, 720),
         {},
         {1},
         {},
         false,
         {}},
        {"the switch is refused",
         native(1280, 720),
         [](auto& t) { t.desktop->setDisplayModeSwitchError(platform::displayerror::illegalArgument); },
         {1},
         {},
         false,
         {"Client Native display mode failed for display 1: 1001."}},
        {"the restore is refused",
         native(1280, 720),
         {},
         {1},
         [](auto& t) { t.desktop->setDisplayModeSwitchError(platform::displayerror::failure); },
         true,
         {"Client Native display mode applied for display 1",
          "Client Native display mode restore failed for display 1: 1000."}},
        {"the user put the mode back already",
         native(1280, 720),
         {},
         {1},
         [](auto& t) { t.desktop->setMode(1, (*t.desktop->allModes(1, true))[0]); },
         true,
         {"Client Native display mode applied for display 1"}},
        {"an unknown display",
         native(1280, 720),
         {},
         {9},
         {},
         false,
         {"Client Native display mode skipped for display 9: current mode is unavailable."}},
        {"nothing large enough",
         native(6000, 4000),
         {},
         {1},
         {},
         false,
         {"Client Native display mode skipped for display 1: no matching mode for 5120x3414."}},
        {"a move to another display restores the first one before",
         native(1280, 720),
         {},
         {1, 2},
         {},
         true,
         {"Client Native display mode applied for display 1", "Client Native display mode restored for display 1",
          "Client Native display mode applied for display 2 (stream start): " + original2 + " -> " + switched2 +
              ", target 1280x720.",
          "Client Native display mode restored for display 2"}},
        {"the stream stops while the second display switches",
         native(1280, 720),
         [](auto& t) {
             // The stop comes as the first display is being put back,
             // after the second display's controller was stored.
             t.desktop->setDisplayModeHook([&t, stopped = false](platform::DisplayID display) mutable {
                 if (display == 1 && t.desktop->currentMode(1) != (*t.desktop->allModes(1, true))[0] && !stopped) {
                     stopped = true;
                     t.session->stop();
                 }
             });
         },
         {1, 2},
         {},
         false,
         {"Client Native display mode applied for display 1", "Client Native display mode restored for display 1",
          "Client Native display mode applied for display 2", "Client Native display mode restored for display 2"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = logMessages("Client Native").size();
        start(scenario(), row.options);
        if (row.before) row.before(*this);
        bool switched = false;
        for (const auto display : row.displays) switched = applyOn(display);
        EXPECT_EQ(switched, row.lastSwitched);
        if (row.beforeStop) row.beforeStop(*this);
        session->stop();
        desktop->setDisplayModeHook({});
        auto lines = logMessages("Client Native");
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        ASSERT_EQ(lines.size(), row.lines.size()) << ::testing::PrintToString(lines);
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_THAT(lines[i], ::testing::StartsWith(row.lines[i]));
        if (std::string(row.name) != "the restore is refused") {
            EXPECT_EQ(current(1), original1);
            EXPECT_EQ(current(2), original2);
        }
    }
}

}  // namespace
}  // namespace zentrabo::testing
