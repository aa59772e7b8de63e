// One device's stream start held inside an application that hangs in its
// accessibility calls: another device's stream starts at once and sends its
// first frame, and the 2 s deadlines of its window resize still fire when
// the manual clock passes them.
#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>

#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

// The virtual desktop, except that every accessibility call on one
// application's element waits, in real time, until the test lets go.
class HangingApplicationDesktop final : public platform::Desktop, public platform::Accessibility {
public:
    explicit HangingApplicationDesktop(platform::VirtualDesktop& inner) : inner_(inner) {}

    void hang(platform::ProcessID application) { hanging_ = application; }
    // Whether a call is held now, waiting up to 20 s for one.
    bool aCallIsHeld() {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, std::chrono::seconds(20), [this] { return heldCalls_ > 0; });
    }
    void letGo() {
        {
            std::lock_guard guard(mutex_);
            isHolding_ = false;
        }
        changed_.notify_all();
    }

    platform::Workspace& workspace() override { return inner_.workspace(); }
    platform::Accessibility& accessibility() override { return *this; }
    platform::WindowServer& windowServer() override { return inner_.windowServer(); }
    platform::Displays& displays() override { return inner_.displays(); }
    platform::ScreenCapture& screenCapture() override { return inner_.screenCapture(); }
    platform::Pasteboard& pasteboard() override { return inner_.pasteboard(); }
    platform::KeyboardLayoutPreferences& keyboardLayout() override { return inner_.keyboardLayout(); }
    platform::EventPoster& eventPoster() override { return inner_.eventPoster(); }
    platform::Clock& clock() override { return inner_.clock(); }

    bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
    bool requestProcessTrust() override { return inner_.requestProcessTrust(); }
    platform::AXElement systemWideElement() override { return inner_.systemWideElement(); }
    platform::AXElement applicationElement(platform::ProcessID pid) override { return inner_.applicationElement(pid); }
    platform::AXError setMessagingTimeout(const platform::AXElement& element, double seconds) override {
        holdCallsOn(element);
        return inner_.setMessagingTimeout(element, seconds);
    }
    platform::AXAttributeResult copyAttribute(const platform::AXElement& element, const std::string& name) override {
        holdCallsOn(element);
        return inner_.copyAttribute(element, name);
    }
    platform::AXError setAttribute(const platform::AXElement& element, const std::string& name,
                                   const platform::AXValue& value) override {
        holdCallsOn(element);
        return inner_.setAttribute(element, name, value);
    }
    platform::AXError performAction(const platform::AXElement& element, const std::string& action) override {
        holdCallsOn(element);
        return inner_.performAction(element, action);
    }
    platform::MenuTreeRead menuTree(platform::ProcessID application, const platform::MenuReadLimits& limits) override {
        return inner_.menuTree(application, limits);
    }
    platform::MenuPressResult pressMenuItem(platform::ProcessID application, std::size_t levels,
                                            const platform::MenuItemChooser& choose,
                                            const platform::MenuReadLimits& limits) override {
        return inner_.pressMenuItem(application, levels, choose, limits);
    }
    std::optional<platform::ModalWindow> modalWindow(platform::ProcessID application,
                                                     const platform::MenuReadLimits& limits) override {
        return inner_.modalWindow(application, limits);
    }
    platform::ModalPressResult pressModalButton(platform::ProcessID application,
                                                const platform::ModalButtonChooser& choose,
                                                const platform::MenuReadLimits& limits) override {
        return inner_.pressModalButton(application, choose, limits);
    }
    bool insertIntoFocusedField(const std::string& text, const platform::MenuReadLimits& limits) override {
        return inner_.insertIntoFocusedField(text, limits);
    }
    std::vector<platform::ApplicationWindow> applicationWindows(platform::ProcessID application) override {
        holdCallsOn(inner_.applicationElement(application));
        return inner_.applicationWindows(application);
    }
    std::optional<platform::Rect> windowFrame(const platform::AXElement& window) override {
        return inner_.windowFrame(window);
    }
    platform::AXError setWindowPosition(const platform::AXElement& window, const platform::Point& origin) override {
        return inner_.setWindowPosition(window, origin);
    }
    platform::AXError setWindowSize(const platform::AXElement& window, const platform::Size& size) override {
        return inner_.setWindowSize(window, size);
    }
    platform::AXError setWindowMinimized(const platform::AXElement& window, bool minimized) override {
        return inner_.setWindowMinimized(window, minimized);
    }
    platform::AXError raiseWindow(const platform::AXElement& window) override { return inner_.raiseWindow(window); }
    platform::AXError bringApplicationForward(platform::ProcessID application) override {
        holdCallsOn(inner_.applicationElement(application));
        return inner_.bringApplicationForward(application);
    }

private:
    void holdCallsOn(const platform::AXElement& element) {
        if (element.kind() != platform::AXElement::Kind::application || element.identity() != hanging_) return;
        std::unique_lock guard(mutex_);
        ++heldCalls_;
        changed_.notify_all();
        changed_.wait(guard, [this] { return !isHolding_; });
    }

    platform::VirtualDesktop& inner_;
    std::int64_t hanging_ = 0;  // set before the first stream
    std::mutex mutex_;
    std::condition_variable changed_;
    bool isHolding_ = true;
    int heldCalls_ = 0;
};

class StreamStartIsolationTest : public StreamServerTest {
protected:
    platform::DesktopBuilder scenario() override {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 320, 180});
        builder.application("Frozen", "com.example.frozen").window("Stuck", {10, 10, 120, 80});
        builder.application("Editor", "com.example.editor").window("Doc", {150, 20, 120, 80});
        return builder;
    }

    platform::Desktop& serverDesktop() override {
        hanging = std::make_unique<HangingApplicationDesktop>(*desktop);
        for (const auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() == "com.example.frozen") {
                hanging->hang(application->processIdentifier());
            }
        }
        return *hanging;
    }

    void SetUp() override {
        StreamServerTest::SetUp();
        mediaStart = MediaStart::capture;
    }

    void TearDown() override {
        hanging->letGo();
        StreamServerTest::TearDown();
    }

    static RemoteScreenStreamRequest applicationWindow(const char* bundleIdentifier) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = bundleIdentifier;
        options.framesPerSecond = 10;
        options.capturesAudio = false;
        return options;
    }

    std::unique_ptr<HangingApplicationDesktop> hanging;
};

TEST_F(StreamStartIsolationTest, AStartHeldByAHungApplicationHoldsUpNeitherAnotherStartNorTheDeadlines) {
    auto first = connect(applicationWindow("com.example.frozen"));
    ASSERT_TRUE(hanging->aCallIsHeld());

    // The clock stands still: the first frame comes within a frame interval
    // of the request, with the first start still held.
    const double requested = clock.monotonicNow();
    auto second = connect(applicationWindow("com.example.editor"));
    ASSERT_TRUE(second->waitUntil([&] {
        for (const auto& frame : second->frames()) {
            if (frame.kind == RemoteScreenStreamFrameKind::video) return true;
        }
        return false;
    }));
    EXPECT_LT(clock.monotonicNow() - requested, 0.1);
    EXPECT_TRUE(first->frames().empty());

    // The resized window's filter update never answers: its 2 s wait ends
    // once the clock has passed 2 s, not before and not much later.
    desktop->setCaptureUpdateBehaviour({std::numeric_limits<double>::infinity(), std::nullopt});
    second->write(frameBytes(RemoteScreenStreamFrameKind::resizeWindow, R"({"width":200,"height":160})"));
    ASSERT_TRUE(waitFor([&] {
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "setWindow" && entry.subject == "com.example.editor" &&
                entry.detail.find(" size = ") != std::string::npos) {
                return true;
            }
        }
        return false;
    }));
    // The content fetch and the filter update follow at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    double waited = 0;
    while (waited < 3 && !second->waitForCommandResults(1, std::chrono::milliseconds(100))) {
        clock.advance(0.1);
        waited += 0.1;
    }
    ASSERT_EQ(second->commandResults().size(), 1U);
    EXPECT_GE(waited, 1.99);
    EXPECT_LE(waited, 2.21);
    const auto result = second->commandResults().front();
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.message, "The streamed window filter could not be updated in time.");
    EXPECT_TRUE(first->frames().empty());
}

}  // namespace
}  // namespace zentrabo::testing
