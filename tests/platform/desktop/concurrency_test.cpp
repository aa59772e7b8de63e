// The controller on the main thread and a stream session on its control
// queue use one desktop at once.
#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

class ConcurrencyTest : public DesktopTest {};

TEST_F(ConcurrencyTest, PressesWaitsAndPostedInputFromTwoThreadsDoNotInterfere) {
    DesktopBuilder builder;
    ScenarioSheet sheet;
    sheet.buttons = {{"OK", {}}};
    builder.application("Editor", "com.example.editor")
        .menu("File", {menuItem("Ask").then(opensSheet(sheet, 0.01)), menuItem("New").then(opensWindow("More"))})
        .window("Draft", {0, 0, 400, 300});
    builder.application("Other", "com.example.other").window("Other", {50, 50, 400, 300});
    start(builder);
    const auto ask = menuElement("com.example.editor", {"File", "Ask"});
    const auto more = menuElement("com.example.editor", {"File", "New"});

    constexpr int rounds = 200;
    std::atomic<bool> done{false};
    std::thread stream([&] {
        auto other = running("com.example.other");
        while (!done) {
            desktop->post(MouseEvent{MouseEventType::mouseMoved, {10, 10}, 1, 0, EventSourceState::hidSystem});
            other->activate(true);
            desktop->windows();
            desktop->displayImage(1);
        }
    });
    for (int i = 0; i < rounds; ++i) {
        EXPECT_EQ(desktop->performAction(ask, "AXPress"), axerror::success);
        EXPECT_EQ(desktop->performAction(more, "AXPress"), axerror::success);
        clock.runLoopTurn(0.05);
    }
    done = true;
    stream.join();

    const auto editor = desktop->applicationElement(running("com.example.editor")->processIdentifier());
    const auto windows = std::get<std::vector<AXElement>>(*read(editor, "AXWindows").value);
    EXPECT_EQ(windows.size(), static_cast<std::size_t>(rounds + 1));
    EXPECT_NEAR(clock.monotonicNow(), rounds * 0.01, 1e-6) << "each turn stopped at the sheet due 0.01 s later";
}

}  // namespace
}  // namespace zentrabo::platform
