// A phone reading and pressing the menus of a GTK program that these tests
// did not write (Debian's gtk3-widget-factory), through the binary
// (--desktop x11): its menu bar is GTK's own, as another program builds it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::IsSupersetOf;

// The program as a child of the test, ended when the object goes unless it
// has ended by itself.
class WidgetFactory {
public:
    WidgetFactory() {
        char program[] = "/usr/bin/gtk3-widget-factory";
        char* argv[] = {program, nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            execv(argv[0], argv);
            _exit(127);
        }
    }
    ~WidgetFactory() {
        if (pid_ <= 0 || hasEnded(std::chrono::milliseconds(0))) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    WidgetFactory(const WidgetFactory&) = delete;
    WidgetFactory& operator=(const WidgetFactory&) = delete;

    pid_t pid() const { return pid_; }

    // Whether it has ended within the time given (and is reaped).
    bool hasEnded(std::chrono::milliseconds within) {
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Its window, once the window manager lists it.
    std::optional<std::uint32_t> waitForWindow() {
        std::optional<std::uint32_t> found;
        eventually([&] {
            for (const auto window : witnessedNumbers("_NET_CLIENT_LIST")) {
                const auto pid = witnessedNumbers("_NET_WM_PID", window);
                if (pid.size() == 1 && static_cast<pid_t>(pid[0]) == pid_) found = window;
            }
            return found.has_value();
        });
        return found;
    }

private:
    pid_t pid_ = -1;
};

class BinaryX11ForeignMenus : public BinaryX11Test {};

TEST_F(BinaryX11ForeignMenus, TheMenusOfGtksWidgetFactorySnapshotAndItsQuitItemEndsIt) {
    WidgetFactory factory;
    const auto window = factory.waitForWindow();
    ASSERT_TRUE(window);
    activateWindow(*window);
    // Its menu bar is on its second page, which shows only when chosen.
    ASSERT_TRUE(witnessOutput("/usr/bin/python3 -B " ZENTRABO_SOURCE_DIR
                              "/tests/support/accessibility_witness.py press " +
                              std::to_string(factory.pid()) + " 'Page 2'; echo $?") == "0\n");

    const auto menu = send(phone, deviceRequest("F-1", "menu"));
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    EXPECT_THAT(titles(menu.snapshot->items), IsSupersetOf({"File", "Edit"}));
    const auto* file = nodeAt(*menu.snapshot, {"File"});
    ASSERT_TRUE(file);
    EXPECT_THAT(titles(file->children), IsSupersetOf({"New", "Open", "Save", "Save As", "Quit"}));

    auto quit = deviceRequest("F-2", "run");
    quit.path = std::vector<std::string>{"File", "Quit"};
    const auto pressed = send(phone, quit);
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
    EXPECT_TRUE(factory.hasEnded(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace zentrabo::testing
