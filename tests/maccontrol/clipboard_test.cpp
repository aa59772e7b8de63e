// Setting the clipboard and pasting text, with the user's clipboard kept.
#include <gmock/gmock.h>

#include <atomic>
#include <future>
#include <thread>

#include "key_input_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;

class ClipboardTest : public KeyInputTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.pasteboardText("the user's copy");
        startEditor("Hello ", builder);
        userItems = desktop->items();
    }

    // Whether another thread could take the desktop's input lock right now.
    bool inputLockIsFree() {
        return std::async(std::launch::async,
                          [&] {
                              std::unique_lock lock(desktop->inputLock(), std::try_to_lock);
                              return lock.owns_lock();
                          })
            .get();
    }

    std::vector<PasteboardItem> userItems;
};

TEST_F(ClipboardTest, PastedTextArrivesAndTheUsersClipboardComesBack) {
    const double before = clock.monotonicNow();
    controller->pasteText("wörld");
    EXPECT_EQ(fieldText(), "Hello wörld");
    EXPECT_EQ(desktop->items(), userItems);
    EXPECT_THAT(postedInput(), ElementsAre("down 55 command", "down 9 command", "up 9 command", "up 55"));
    EXPECT_DOUBLE_EQ(clock.monotonicNow() - before, 0.2) << "the application's time to read the pasteboard";
    EXPECT_TRUE(inputLockIsFree());
}

TEST_F(ClipboardTest, EveryKindOfClipboardComesBackAsItWas) {
    const std::vector<PasteboardItem> clipboards[] = {
        {},
        {{{{"public.png", {0x89, 'P', 'N', 'G'}}, {pasteboardtype::string, {'c', 'a', 't'}}}}},
        {{{{pasteboardtype::string, {'o', 'n', 'e'}}}}, {{{pasteboardtype::string, {'t', 'w', 'o'}}}}},
    };
    for (const auto& clipboard : clipboards) {
        SCOPED_TRACE(clipboard.size());
        desktop->clearContents();
        desktop->writeItems(clipboard);
        controller->pasteText("x");
        EXPECT_EQ(desktop->items(), clipboard);
    }
    EXPECT_EQ(fieldText(), "Hello xxx");
}

TEST_F(ClipboardTest, AFailedPasteGivesTheUsersClipboardBack) {
    struct Failure {
        const char* what;
        std::size_t refusedWrite = 0;
        std::size_t failingPost = 0;
    };
    const Failure failures[] = {
        {"the write of the text", 1, 0}, {"command down", 0, 1}, {"v down", 0, 2}, {"v up", 0, 3}, {"command up", 0, 4},
    };
    for (const auto& failing : failures) {
        SCOPED_TRACE(failing.what);
        desktop->refusePasteboardWrite(failing.refusedWrite);
        desktop->failPost(failing.failingPost);
        EXPECT_EQ(failure([&] { controller->pasteText("secret"); }), Case::actionFailed);
        EXPECT_EQ(desktop->items(), userItems);
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }
}

TEST_F(ClipboardTest, TextIsRequiredAndPastingNeedsTrust) {
    EXPECT_EQ(failure([&] { controller->setClipboardText(std::nullopt); }), Case::clipboardTextRequired);
    EXPECT_EQ(failure([&] { controller->setClipboardText(""); }), Case::clipboardTextRequired);
    EXPECT_EQ(failure([&] { controller->pasteText(std::nullopt); }), Case::textInputRequired);
    EXPECT_EQ(failure([&] { controller->pasteText(""); }), Case::textInputRequired);
    EXPECT_EQ(desktop->items(), userItems);

    controller->pasteText("  ");
    EXPECT_EQ(fieldText(), "Hello   ") << "spaces are text";

    desktop->setAccessibilityTrusted(false);
    EXPECT_EQ(failure([&] { controller->pasteText(std::nullopt); }), Case::accessibilityMissing);
    controller->setClipboardText(" ");
    EXPECT_EQ(desktop->string(), " ") << "setting the clipboard needs no trust";
    EXPECT_EQ(desktop->items().size(), 1u);

    desktop->refusePasteboardWrite(1);
    EXPECT_EQ(failure([&] { controller->setClipboardText("refused"); }), Case::actionFailed);
}

// The desktop's input lock keeps a paste whole: from saving the user's
// clipboard to putting it back nobody else pastes or writes the clipboard.
// The first paste is held inside its first key post while the other caller
// starts; it must wait for the lock.
TEST_F(ClipboardTest, PastesAndClipboardWritesOfOtherCallersWaitForAPaste) {
    DesktopController streamController(*desktop);
    struct Contender {
        const char* what;
        std::function<void()> call;
        std::string field;
        std::optional<std::string> clipboard;
    };
    const Contender contenders[] = {
        {"a paste of the stream's controller", [&] { streamController.pasteText("second"); }, "Hello firstsecond",
         "the user's copy"},
        {"a clipboard write", [&] { streamController.setClipboardText("newer"); }, "Hello first", "newer"},
    };
    for (const auto& contender : contenders) {
        SCOPED_TRACE(contender.what);
        desktop->setAttribute(*focusedField(), "AXValue", std::string("Hello "));
        desktop->setAttribute(*focusedField(), "AXSelectedTextRange", TextRange{6, 0});
        std::atomic<bool> started{false};
        bool lockHeldInPost = false;
        std::thread other;
        desktop->setPostHook([&](const InputEvent&) {
            if (started.exchange(true)) return;
            lockHeldInPost = !inputLockIsFree();
            other = std::thread(contender.call);
        });
        controller->pasteText("first");
        other.join();
        desktop->setPostHook(nullptr);

        EXPECT_TRUE(lockHeldInPost);
        EXPECT_EQ(fieldText(), contender.field);
        EXPECT_EQ(desktop->string(), contender.clipboard);
        EXPECT_EQ(desktop->items().size(), 1u);
        EXPECT_THAT(desktop->heldKeys(), IsEmpty());
    }
}

}  // namespace
}  // namespace zentrabo
