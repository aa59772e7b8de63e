// A window stream's resize on its control queue, with no capture running:
// each refusal comes with its text, and a window near a display's edge is
// resized onto the display before the stream is asked to follow.
#include <gtest/gtest.h>

#include <future>

#include "direct_session_fixture.hpp"
#include <asio/co_spawn.hpp>

#include "model/task_failure.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/streamed_window.hpp"

namespace zentrabo::testing {
namespace {

class WindowResizeTest : public DirectSessionTest {};

TEST_F(WindowResizeTest, EachRefusalHasItsTextAndTheWindowStaysOnItsDisplay) {
    // What differs from a trusted application-window stream of a resizable
    // window, asked for 300 x 200.
    enum class Setup { displayStream, untrusted, widthOfOnePoint, nothingSelected, refusesSizes, plain };
    using enum Setup;
    const platform::Rect unmoved{640, 460, 120, 100};
    const struct {
        Setup setup;
        const char* expected;
        platform::Rect windowAfter;
    } rows[] = {
        {displayStream, "Only app window streams can be resized.", unmoved},
        {untrusted,
         "Accessibility permission is missing. Grant it to Zentrabo Server in System Settings to resize streamed "
         "windows.",
         unmoved},
        {widthOfOnePoint, "The requested window size is invalid.", unmoved},
        {nothingSelected, "The streamed window is no longer available.", unmoved},
        // Moved to where the new size would fit before the size was refused.
        {refusesSizes, "The streamed window could not be resized: attribute unsupported", {500, 400, 120, 100}},
        // Grown around its centre it would cross the right and bottom edges.
        {plain, "The stream is no longer running.", {500, 400, 300, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 800, 600}).accessibilityTrusted(row.setup != untrusted);
        platform::ScenarioWindow window;
        window.title = "Note";
        window.frame = unmoved;
        window.resizable = row.setup != refusesSizes;
        builder.application("Notes", "com.example.notes").window(window);
        RemoteScreenStreamRequest options;
        options.mode =
            row.setup == displayStream ? RemoteScreenStreamMode::display : RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = "com.example.notes";
        start(builder, options);
        const auto content = *desktop->shareableContent(false, true);
        const auto windowID = content.windows.front().windowID;
        if (row.setup != nothingSelected) session->selection().apply(*windowContent(windowID, content, {}, *desktop));

        RemoteScreenResizeWindowRequest request;
        request.width = row.setup == widthOfOnePoint ? 1 : 300;
        request.height = 200;
        std::promise<std::string> answer;
        asio::co_spawn(session->controlQueue().executor(), resizeWindow(session, request),
                       [&answer](std::exception_ptr failure, WindowResizeOutcome) {
                           answer.set_value(failure ? failureText(failure) : "resized");
                       });
        EXPECT_EQ(answer.get_future().get(), row.expected);
        const auto listed = platform::listedWindow(*desktop, windowID);
        ASSERT_TRUE(listed);
        EXPECT_EQ(listed->frame, row.windowAfter);
    }
}

}  // namespace
}  // namespace zentrabo::testing
