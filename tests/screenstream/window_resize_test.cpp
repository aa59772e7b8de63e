// A window stream's resize on its control queue, with no capture running:
// each refusal comes with its text, and a window near a display's edge is
// resized onto the display before the stream is asked to follow.
#include <gtest/gtest.h>

#include <future>

#include "direct_session_fixture.hpp"
#include "maccontrol/window_info.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/streamed_window.hpp"

namespace zentrabo::testing {
namespace {

class WindowResizeTest : public DirectSessionTest {};

TEST_F(WindowResizeTest, EachRefusalHasItsTextAndTheWindowStaysOnItsDisplay) {
    const struct {
        const char* name;
        RemoteScreenStreamMode mode;
        bool trusted;
        bool selected;
        bool resizable;
        double width;
        const char* expected;
        platform::Rect windowAfter;
    } rows[] = {
        {"a display stream",
         RemoteScreenStreamMode::display,
         true,
         true,
         true,
         300,
         "Only app window streams can be resized.",
         {640, 460, 120, 100}},
        {"no accessibility trust",
         RemoteScreenStreamMode::applicationWindow,
         false,
         true,
         true,
         300,
         "Accessibility permission is missing. Grant it to Zentrabo Server in System Settings to resize streamed "
         "windows.",
         {640, 460, 120, 100}},
        {"a width of one point",
         RemoteScreenStreamMode::applicationWindow,
         true,
         true,
         true,
         1,
         "The requested window size is invalid.",
         {640, 460, 120, 100}},
        {"no window streamed",
         RemoteScreenStreamMode::applicationWindow,
         true,
         false,
         true,
         300,
         "The streamed window is no longer available.",
         {640, 460, 120, 100}},
        {"a window that refuses every size",
         RemoteScreenStreamMode::applicationWindow,
         true,
         true,
         false,
         300,
         "The streamed window could not be resized: attribute unsupported",
         // Moved to where the new size would fit before the size was refused.
         {500, 400, 120, 100}},
        // Grown around its centre it would cross the right and bottom edges.
        {"a window near the display's corner",
         RemoteScreenStreamMode::applicationWindow,
         true,
         true,
         true,
         300,
         "The stream is no longer running.",
         {500, 400, 300, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 800, 600}).accessibilityTrusted(row.trusted);
        platform::ScenarioWindow window;
        window.title = "Note";
        window.frame = {640, 460, 120, 100};
        window.resizable = row.resizable;
        builder.application("Notes", "com.example.notes").window(window);
        RemoteScreenStreamRequest options;
        options.mode = row.mode;
        options.applicationBundleIdentifier = "com.example.notes";
        start(builder, options);
        const auto content = *desktop->shareableContent(false, true);
        const auto windowID = content.windows.front().windowID;
        if (row.selected) session->applySelection(*windowContent(windowID, content, {}, *desktop));

        RemoteScreenResizeWindowRequest request;
        request.width = row.width;
        request.height = 200;
        std::promise<std::string> answer;
        session->controlQueue().post([&] {
            try {
                session->resizeWindow(request);
                answer.set_value("resized");
            } catch (const std::exception& error) {
                answer.set_value(error.what());
            }
        });
        EXPECT_EQ(answer.get_future().get(), row.expected);
        const auto entry = zentrabo::windowInfo(*desktop, windowID);
        ASSERT_TRUE(entry);
        EXPECT_EQ(windowInfoBounds(*entry), row.windowAfter);
    }
}

}  // namespace
}  // namespace zentrabo::testing
