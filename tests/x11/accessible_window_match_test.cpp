// Which client window an accessible window is: process first, then frame,
// then title.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/desktop/x11/accessible_window_match.hpp"

namespace zentrabo::platform {
namespace {

ManagedWindow window(xcb_window_t id, ProcessID pid, Rect frame, std::string title) {
    ManagedWindow managed;
    managed.id = id;
    managed.pid = pid;
    managed.frame = frame;
    managed.title = std::move(title);
    return managed;
}

TEST(AccessibleWindowMatch, ProcessThenFrameThenTitleDecide) {
    // Front to back.
    const std::vector<ManagedWindow> windows{
        window(1, 100, {0, 0, 400, 300}, "Left"),      window(2, 100, {500, 0, 400, 300}, "Right"),
        window(3, 200, {0, 0, 400, 300}, "Left"),      window(4, 100, {500, 0, 400, 300}, "Twin"),
        window(5, 0, {1000, 0, 400, 300}, "Nobody's"),
    };
    struct Case {
        const char* what;
        AccessibleWindow accessible;
        std::optional<xcb_window_t> expected;
    };
    const Case cases[] = {
        {"same size, the place decides", {100, {500, 0, 400, 300}, "Right"}, 2},
        {"overlapping windows, the process decides", {200, {0, 0, 400, 300}, "Left"}, 3},
        {"same place and size, the title decides", {100, {500, 0, 400, 300}, "Twin"}, 4},
        {"same place, size and title, the frontmost", {100, {500, 0, 400, 300}, "Other"}, 2},
        {"a frame a little off still matches", {100, {2, 25, 400, 280}, ""}, 1},
        {"the nearer of two overlapping", {100, {450, 0, 400, 300}, ""}, 2},
        {"no window of its process overlaps", {100, {2000, 0, 400, 300}, "Left"}, std::nullopt},
        {"a process without windows", {300, {0, 0, 400, 300}, "Left"}, std::nullopt},
        {"no process is no match", {0, {1000, 0, 400, 300}, "Nobody's"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(matchingClientWindow(windows, c.accessible), c.expected);
    }
}

}  // namespace
}  // namespace zentrabo::platform
