#pragma once
// What every desktop backend keeps, seen through the desktop-control layer:
// the window list and activation, menus read and pressed, a modal dialog
// described and dismissed, the pasteboard and a posted paste. Each backend's
// test folder includes this once and instantiates the suite with a factory
// of its own:
//   INSTANTIATE_TEST_SUITE_P(Name, DesktopContract, ::testing::Values(ContractBackendFactory{...}));
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/desktop/desktop.hpp"
#include "support/menu_tree_search.hpp"

namespace zentrabo::testing {

// A backend running the contract's two applications. Each has one window,
// "First" and "Second", 400 x 300 points, with a focused text field and the
// menus
//   File  New Window (Command-N), Print (disabled),
//         Recent > First Document, Second Document,
//         Confirm… (a modal dialog "Confirm" with Cancel and OK), Quit
//   Edit  Paste (Command-V)
class ContractBackend {
public:
    virtual ~ContractBackend() = default;
    virtual platform::Desktop& desktop() = 0;
    // Starts the first (0) or second (1) application and waits until its
    // window is listed and in front; the application's bundle identifier.
    virtual std::string startApplication(int which) = 0;
    // What the applications report, each within the backend's own bound.
    virtual bool sawMenuItemPressed(const std::string& title) = 0;
    virtual bool sawDialogCancelled() = 0;
    virtual bool sawFieldText(const std::string& text) = 0;
};

struct ContractBackendFactory {
    std::string name;
    std::function<std::unique_ptr<ContractBackend>()> make;
};

// Named by its backend in test names and messages.
inline void PrintTo(const ContractBackendFactory& factory, std::ostream* stream) { *stream << factory.name; }

inline std::string contractBackendName(const ::testing::TestParamInfo<ContractBackendFactory>& info) {
    return info.param.name;
}

class DesktopContract : public ::testing::TestWithParam<ContractBackendFactory> {
protected:
    void SetUp() override {
        // A backend that cannot run here skips or fails the test itself.
        backend = GetParam().make();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(backend);
        controller.emplace(backend->desktop());
    }

    // The listed window of that title.
    std::optional<platform::ListedWindow> listed(const std::string& title) {
        const auto windows =
            backend->desktop().windowServer().windows().value_or(std::vector<platform::ListedWindow>{});
        for (const auto& window : windows) {
            if (window.title == title) return window;
        }
        return std::nullopt;
    }

    std::shared_ptr<platform::RunningApplication> running(const std::string& bundleIdentifier) {
        return controller->runningApplication(bundleIdentifier);
    }

    std::optional<MacMenuError::Case> pressFailure(const std::string& application,
                                                   const std::vector<std::string>& path) {
        try {
            controller->pressMenuItem(application, path, std::nullopt, std::nullopt);
        } catch (const MacMenuError& error) {
            return error.errorCase();
        }
        return std::nullopt;
    }

    std::unique_ptr<ContractBackend> backend;
    std::optional<DesktopController> controller;
};

TEST_P(DesktopContract, WindowsAreListedWithTheirOwnersAndComeForwardWithTheirApplication) {
    const auto first = backend->startApplication(0);
    const auto second = backend->startApplication(1);
    for (const auto& [application, title] : {std::pair{first, "First"}, std::pair{second, "Second"}}) {
        SCOPED_TRACE(title);
        const auto window = listed(title);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->ownerPID, running(application)->processIdentifier());
        EXPECT_TRUE(window->onScreen);
        EXPECT_FALSE(window->isDesktopElement);
        EXPECT_EQ(window->layer, 0);
        EXPECT_GE(window->frame.width, 400);
        EXPECT_GE(window->frame.height, 300);

        const auto windows = controller->applicationWindows(application);
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_EQ(windows[0].title, title);
        EXPECT_EQ(windows[0].windowID, window->id);
        EXPECT_TRUE(controller->isFrontmost(*running(application)));
        EXPECT_EQ(controller->frontWindowNumber(*running(application)), window->id);
    }
}

TEST_P(DesktopContract, MenusAreReadWholeAndPressedByTheirPath) {
    const auto application = backend->startApplication(0);
    const auto snapshot = controller->menuSnapshot(application);
    struct Row {
        std::vector<std::string> path;
        bool enabled;
        std::optional<std::string> shortcut;
    };
    for (const auto& row :
         {Row{{"File", "New Window"}, true, "cmd+N"}, Row{{"File", "Print"}, false, std::nullopt},
          Row{{"File", "Recent", "First Document"}, true, std::nullopt},
          Row{{"File", "Recent", "Second Document"}, true, std::nullopt}, Row{{"Edit", "Paste"}, true, "cmd+V"}}) {
        SCOPED_TRACE(row.path.back());
        const auto* node = nodeAt(snapshot, row.path);
        ASSERT_TRUE(node);
        EXPECT_EQ(node->enabled, row.enabled);
        EXPECT_EQ(node->shortcut, row.shortcut);
    }

    EXPECT_EQ(pressFailure(application, {"File", "Recent", "Second Document"}), std::nullopt);
    EXPECT_TRUE(backend->sawMenuItemPressed("Second Document"));
    EXPECT_EQ(pressFailure(application, {"File", "Print"}), MacMenuError::Case::menuItemDisabled);
    EXPECT_EQ(pressFailure(application, {"File", "Nothing"}), MacMenuError::Case::menuItemNotFound);
    EXPECT_EQ(pressFailure(application, {"File", "New Window"}), std::nullopt);
    EXPECT_TRUE(backend->sawMenuItemPressed("New Window"));
}

TEST_P(DesktopContract, AModalDialogIsDescribedAndDismissedWithItsCancelButton) {
    const auto application = backend->startApplication(0);
    EXPECT_FALSE(controller->modalInfo(application));
    EXPECT_EQ(pressFailure(application, {"File", "Confirm…"}), std::nullopt);
    const auto modal = controller->modalInfo(application);
    ASSERT_TRUE(modal);
    EXPECT_EQ(modal->title, "Confirm");
    EXPECT_THAT(modal->buttonTitles, ::testing::ElementsAre("Cancel", "OK"));
    EXPECT_FALSE(controller->dismissModal(application, std::nullopt, std::nullopt));
    EXPECT_TRUE(backend->sawDialogCancelled());
}

TEST_P(DesktopContract, APasteReachesTheFocusedFieldAndThePasteboardIsPutBack) {
    backend->startApplication(0);
    controller->setClipboardText("kept");
    EXPECT_EQ(backend->desktop().pasteboard().string(), "kept");
    controller->pasteText("pasted text");
    EXPECT_TRUE(backend->sawFieldText("pasted text"));
    EXPECT_EQ(backend->desktop().pasteboard().string(), "kept");
}

}  // namespace zentrabo::testing
