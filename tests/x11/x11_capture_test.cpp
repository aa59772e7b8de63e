// Window images and capture streams of the X11 desktop against the tests'
// session, each checked against the test application's known pattern.
#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "support/test_application.hpp"
#include "support/x11_witness.hpp"
#include "x11/x11_desktop_fixture.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace zentrabo::testing {
namespace {

using platform::ContentFilter;
using platform::RgbaImage;
using platform::StreamConfiguration;

// A window's client area as the application reported it mapped.
struct ShownWindow {
    std::uint32_t xid = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string colour;

    // The pattern's colour at a point of the root, which lies in the client area.
    Rgb patternAt(int rootX, int rootY) const { return testPatternColour(colour, width, height, rootX - x, rootY - y); }
    // A point inside each quadrant of the pattern, well away from its edges.
    std::vector<std::pair<int, int>> quadrantCentres() const {
        return {{x + width / 4, y + height / 4},
                {x + 3 * width / 4, y + height / 4},
                {x + width / 4, y + 3 * height / 4},
                {x + 3 * width / 4, y + 3 * height / 4}};
    }
};

ShownWindow waitForShown(TestApplication& application, const std::string& name) {
    const auto report = application.reports().waitFor("mapped", name);
    if (!report) return {};
    return ShownWindow{static_cast<std::uint32_t>(report->integer("xid").value_or(0)),
                       static_cast<int>(report->integer("x").value_or(0)),
                       static_cast<int>(report->integer("y").value_or(0)),
                       static_cast<int>(report->integer("width").value_or(0)),
                       static_cast<int>(report->integer("height").value_or(0)),
                       report->text("colour").value_or("")};
}

Rgb pixelAt(const RgbaImage& image, int x, int y) {
    const std::uint8_t* pixel =
        image.pixels.data() + static_cast<std::size_t>(y) * image.rowBytes() + static_cast<std::size_t>(x) * 4;
    return {pixel[0], pixel[1], pixel[2]};
}

// A yuv420p picture (BT.709, limited range) back in RGBA, as a decoder
// shows it.
RgbaImage rgbaOfPicture(const AVFrame& picture) {
    RgbaImage image(static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.height));
    SwsContext* context = sws_getContext(picture.width, picture.height, AV_PIX_FMT_YUV420P, picture.width,
                                         picture.height, AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) return {};
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(context, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
    std::uint8_t* const planes[] = {image.pixels.data()};
    const int strides[] = {static_cast<int>(image.rowBytes())};
    sws_scale(context, picture.data, picture.linesize, 0, picture.height, planes, strides);
    sws_freeContext(context);
    return image;
}

// Scaled pixels differ from the pattern by rounding alone.
bool near(Rgb a, Rgb b) {
    const auto close = [](int x, int y) { return std::abs(x - y) <= 6; };
    return close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

std::string text(Rgb colour) {
    return std::to_string(colour.red) + "," + std::to_string(colour.green) + "," + std::to_string(colour.blue);
}

// Waits, at most the deadline, until the condition holds.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The System V segments attached in this process, by id: /proc/self/maps
// names them "/SYSV<key>" and gives the id in the inode column.
std::vector<long> attachedSegments() {
    std::ifstream maps("/proc/self/maps");
    std::vector<long> ids;
    for (std::string line; std::getline(maps, line);) {
        if (line.find("/SYSV") == std::string::npos) continue;
        char range[64], permissions[8], offset[16], device[16];
        long inode = 0;
        if (std::sscanf(line.c_str(), "%63s %7s %15s %15s %ld", range, permissions, offset, device, &inode) == 5) {
            ids.push_back(inode);
        }
    }
    return ids;
}

// A running capture stream of the desktop and the frames it delivered.
class RecordedStream {
public:
    RecordedStream(platform::ScreenCapture& capture, platform::Clock& clock, ContentFilter filter,
                   StreamConfiguration configuration)
        : clock_(clock), work_(context_.get_executor()), thread_([this] { context_.run(); }) {
        stream_ = capture.makeCaptureStream(std::move(filter), std::move(configuration),
                                            [this](const platform::ScreenCaptureError& error) {
                                                std::lock_guard lock(mutex_);
                                                stopError_ = error.what();
                                            });
        stream_->addScreenOutput(context_.get_executor(), [this](platform::CapturedScreenSample sample) {
            std::lock_guard lock(mutex_);
            // Arrival on the clock, and the frame itself; its queue place goes at once.
            arrivals_.push_back(clock_.monotonicNow());
            latestInEncoderFormat_ = sample.encoderPicture != nullptr;
            latest_ = sample.encoderPicture ? rgbaOfPicture(*sample.encoderPicture) : std::move(sample.image);
            delivered_.notify_all();
        });
    }
    ~RecordedStream() {
        if (stream_) stream_->stopCapture([](auto) {});
        work_.reset();
        context_.stop();
        thread_.join();
    }

    platform::CaptureStream& stream() { return *stream_; }
    std::optional<platform::ScreenCaptureError> start() {
        return complete([&](auto done) { stream_->startCapture(done); });
    }
    std::optional<platform::ScreenCaptureError> complete(
        const std::function<void(platform::CaptureStream::Completion)>& call) {
        auto result = std::make_shared<std::promise<std::optional<platform::ScreenCaptureError>>>();
        call([result](std::optional<platform::ScreenCaptureError> error) { result->set_value(std::move(error)); });
        auto future = result->get_future();
        if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            return platform::ScreenCaptureError("no completion");
        }
        return future.get();
    }

    // The first frame that arrives after the call; none within the deadline.
    std::optional<RgbaImage> nextFrame(std::chrono::seconds deadline = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        const std::size_t seen = arrivals_.size();
        if (!delivered_.wait_for(lock, deadline, [&] { return arrivals_.size() > seen; })) return std::nullopt;
        return latest_;
    }
    std::vector<double> arrivals() {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    // Whether the last frame came as an encoder's picture (nextFrame gives
    // it back as RGBA).
    bool latestInEncoderFormat() {
        std::lock_guard lock(mutex_);
        return latestInEncoderFormat_;
    }
    std::string stopError() {
        std::lock_guard lock(mutex_);
        return stopError_;
    }

private:
    platform::Clock& clock_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    std::shared_ptr<platform::CaptureStream> stream_;
    std::mutex mutex_;
    std::condition_variable delivered_;
    std::vector<double> arrivals_;
    RgbaImage latest_;
    bool latestInEncoderFormat_ = false;
    std::string stopError_;
};

class X11Capture : public X11DesktopTest {
protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        left_ = desktop->displays().mainDisplayID();
    }

    platform::ScreenCapture& capture() { return desktop->screenCapture(); }

    static StreamConfiguration configuration(std::int64_t width, std::int64_t height, int framesPerSecond) {
        StreamConfiguration configuration;
        configuration.width = width;
        configuration.height = height;
        configuration.scalesToFit = true;
        configuration.preservesAspectRatio = true;
        configuration.minimumFrameInterval = {1, framesPerSecond};
        configuration.showsCursor = false;
        configuration.capturesAudio = false;
        return configuration;
    }

    platform::DisplayID left_ = 0;
};

TEST_F(X11Capture, WindowImageIsTheFrameWithItsOwnPatternWhileCoveredAndNoneWhileMinimized) {
    TestApplication application(
        {{{"Back", 400, 300, {{200, 200}}, {}, "c03020"}, {"Front", 300, 200, {{400, 350}}, {}, "20a040"}}});
    const ShownWindow back = waitForShown(application, "Back");
    const ShownWindow front = waitForShown(application, "Front");
    ASSERT_NE(back.xid, 0u);
    ASSERT_NE(front.xid, 0u);
    witnessOutput("xdotool windowactivate --sync " + std::to_string(front.xid));

    const auto extents = witnessedNumbers("_NET_FRAME_EXTENTS", back.xid);  // left, right, top, bottom
    ASSERT_EQ(extents.size(), 4u);
    std::optional<RgbaImage> image;
    ASSERT_TRUE(eventually([&] { return (image = capture().windowImage(back.xid)).has_value(); }));
    // The frame: title bar and borders around the client area.
    EXPECT_EQ(image->width, back.width + extents[0] + extents[1]);
    EXPECT_EQ(image->height, back.height + extents[2] + extents[3]);
    // The bottom-right quadrant lies under the front window on screen.
    for (const auto& [x, y] : back.quadrantCentres()) {
        const Rgb seen =
            pixelAt(*image, x - back.x + static_cast<int>(extents[0]), y - back.y + static_cast<int>(extents[2]));
        EXPECT_EQ(seen, back.patternAt(x, y)) << "at " << x << "," << y << ": " << text(seen);
    }

    witnessOutput("xdotool windowminimize --sync " + std::to_string(back.xid));
    EXPECT_TRUE(eventually([&] { return !capture().windowImage(back.xid); }));
}

TEST_F(X11Capture, ApplicationFilterComposesItsWindowsAloneOnBlack) {
    TestApplication mine(
        {{{"One", 400, 300, {{100, 100}}, {}, "c03020"}, {"Two", 300, 200, {{700, 150}}, {}, "2040c0"}}});
    const ShownWindow one = waitForShown(mine, "One");
    const ShownWindow two = waitForShown(mine, "Two");
    TestApplication other({{{"Other", 300, 300, {{250, 180}}, {}, "20a040"}}, std::string(kSecondTestApplicationId)});
    const ShownWindow covering = waitForShown(other, "Other");
    ASSERT_NE(one.xid, 0u);
    ASSERT_NE(two.xid, 0u);
    ASSERT_NE(covering.xid, 0u);
    witnessOutput("xdotool windowactivate --sync " + std::to_string(covering.xid));

    // Full size, so the pixels are the windows' own.
    const auto bounds = desktop->displays().bounds(left_);
    RecordedStream recorded(
        capture(), clock, platform::ApplicationContentFilter{left_, mine.pid()},
        configuration(static_cast<std::int64_t>(bounds.width), static_cast<std::int64_t>(bounds.height), 10));
    ASSERT_EQ(recorded.start(), std::nullopt);
    const auto frame = recorded.nextFrame();
    ASSERT_TRUE(frame);
    for (const ShownWindow* window : {&one, &two}) {
        for (const auto& [x, y] : window->quadrantCentres()) {
            EXPECT_EQ(pixelAt(*frame, x, y), window->patternAt(x, y)) << "at " << x << "," << y;
        }
    }
    // Where only the other application's window is, the canvas stays black.
    const int x = covering.x + covering.width - 20, y = covering.y + covering.height - 20;
    EXPECT_EQ(pixelAt(*frame, x, y), (Rgb{0, 0, 0})) << text(pixelAt(*frame, x, y));
}

TEST_F(X11Capture, DisplayStreamKeepsItsRateAndShowsAMovedWindowAtItsNewPlace) {
    TestApplication application({{{"Moving", 400, 300, {{100, 100}}, {}, "c03020"}}});
    ShownWindow moving = waitForShown(application, "Moving");
    ASSERT_NE(moving.xid, 0u);
    const auto bounds = desktop->displays().bounds(left_);
    // A quarter of the monitor each way. The rate leaves room for reading
    // a 1920 x 2160 monitor in a checked build on a busy machine (about
    // 100 ms a frame seen); how fast capture is, the latency bench says.
    const int scale = 4;
    constexpr int framesPerSecond = 5;
    RecordedStream recorded(capture(), clock, platform::DisplayContentFilter{left_},
                            configuration(static_cast<std::int64_t>(bounds.width) / scale,
                                          static_cast<std::int64_t>(bounds.height) / scale, framesPerSecond));
    ASSERT_EQ(recorded.start(), std::nullopt);
    ASSERT_TRUE(recorded.nextFrame());
    const double first = clock.monotonicNow();

    witnessOutput("xdotool windowmove --sync " + std::to_string(moving.xid) + " 800 900");
    const auto moved = witnessOutput("xdotool getwindowgeometry " + std::to_string(moving.xid));
    // "Position: 812,931 (screen: 0)": the client area's new place.
    const auto position = moved.find("Position: ");
    ASSERT_NE(position, std::string::npos) << moved;
    ASSERT_EQ(std::sscanf(moved.c_str() + position, "Position: %d,%d", &moving.x, &moving.y), 2) << moved;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto frame = recorded.nextFrame();
    ASSERT_TRUE(frame);
    for (const auto& [x, y] : moving.quadrantCentres()) {
        const Rgb seen = pixelAt(*frame, x / scale, y / scale);
        EXPECT_TRUE(near(seen, moving.patternAt(x, y))) << "at " << x << "," << y << ": " << text(seen);
    }

    // The rate over three seconds of the running stream.
    std::this_thread::sleep_until(std::chrono::steady_clock::now() +
                                  std::chrono::duration<double>(first + 3.2 - clock.monotonicNow()));
    std::size_t frames = 0;
    for (const double arrival : recorded.arrivals()) frames += arrival >= first && arrival < first + 3;
    // 15 frames, within 10 %.
    EXPECT_GE(frames, 14u);
    EXPECT_LE(frames, 16u);
    EXPECT_EQ(recorded.stopError(), "");
}

TEST_F(X11Capture, EncoderFormatFramesAreFittedOnBlackWithThePatternAtItsPlace) {
    TestApplication application({{{"Fitted", 400, 300, {{100, 100}}, {}, "c03020"}}});
    const ShownWindow fitted = waitForShown(application, "Fitted");
    ASSERT_NE(fitted.xid, 0u);
    const auto bounds = desktop->displays().bounds(left_);
    const int scale = 4;
    const auto width = static_cast<std::int64_t>(bounds.width) / scale;
    const auto height = static_cast<std::int64_t>(bounds.height) / scale;
    struct Case {
        const char* what;
        std::int64_t extraHeight;  // a band of black above and below
        bool inEncoderFormat;
    };
    for (const Case& c : {Case{"same proportions", 0, true}, Case{"taller frame", 40, true},
                          Case{"RGBA still when asked", 40, false}}) {
        auto asked = configuration(width, height + c.extraHeight, 10);
        if (c.inEncoderFormat) asked.pixelFormat = platform::CapturePixelFormat::encoderYuv420;
        RecordedStream recorded(capture(), clock, platform::DisplayContentFilter{left_}, asked);
        ASSERT_EQ(recorded.start(), std::nullopt) << c.what;
        const auto frame = recorded.nextFrame();
        ASSERT_TRUE(frame) << c.what;
        EXPECT_EQ(recorded.latestInEncoderFormat(), c.inEncoderFormat) << c.what;
        ASSERT_EQ(frame->width, static_cast<std::uint32_t>(width)) << c.what;
        ASSERT_EQ(frame->height, static_cast<std::uint32_t>(height + c.extraHeight)) << c.what;
        const int top = static_cast<int>(c.extraHeight / 2);
        for (const auto& [x, y] : fitted.quadrantCentres()) {
            const Rgb seen = pixelAt(*frame, x / scale, y / scale + top);
            EXPECT_TRUE(near(seen, fitted.patternAt(x, y))) << c.what << " at " << x << "," << y << ": " << text(seen);
        }
        if (top > 0) {
            for (const int y : {0, top - 2, static_cast<int>(frame->height) - 1}) {
                EXPECT_TRUE(near(pixelAt(*frame, static_cast<int>(width) / 2, y), Rgb{0, 0, 0}))
                    << c.what << " row " << y;
            }
        }
    }
}

TEST_F(X11Capture, CursorIsDrawnOnlyWhenTheConfigurationAsks) {
    TestApplication application({{{"Plain", 300, 300, {{300, 300}}, {}, "808080"}}});
    const ShownWindow plain = waitForShown(application, "Plain");
    ASSERT_NE(plain.xid, 0u);
    const auto extents = witnessedNumbers("_NET_FRAME_EXTENTS", plain.xid);
    ASSERT_EQ(extents.size(), 4u);
    // The pointer in the bottom-right quadrant, one colour all round.
    const int pointerX = plain.x + 3 * plain.width / 4, pointerY = plain.y + 3 * plain.height / 4;
    witnessOutput("xdotool mousemove --sync " + std::to_string(pointerX) + " " + std::to_string(pointerY));

    const int frameWidth = plain.width + static_cast<int>(extents[0] + extents[1]);
    const int frameHeight = plain.height + static_cast<int>(extents[2] + extents[3]);
    RecordedStream recorded(capture(), clock, platform::WindowContentFilter{plain.xid},
                            configuration(frameWidth, frameHeight, 20));
    ASSERT_EQ(recorded.start(), std::nullopt);
    // Pixels of the pattern's colour around the pointer.
    const auto plainAround = [&](const RgbaImage& frame) {
        int plainPixels = 0;
        for (int dy = -16; dy < 16; ++dy) {
            for (int dx = -16; dx < 16; ++dx) {
                const int x = pointerX + dx, y = pointerY + dy;
                plainPixels += pixelAt(frame, x - plain.x + static_cast<int>(extents[0]),
                                       y - plain.y + static_cast<int>(extents[2])) == plain.patternAt(x, y);
            }
        }
        return plainPixels;
    };
    const auto without = recorded.nextFrame();
    ASSERT_TRUE(without);
    EXPECT_EQ(plainAround(*without), 32 * 32);

    auto showing = configuration(frameWidth, frameHeight, 20);
    showing.showsCursor = true;
    ASSERT_EQ(recorded.complete([&](auto done) { recorded.stream().updateConfiguration(showing, done); }),
              std::nullopt);
    recorded.nextFrame();  // one that may have started before the update
    const auto with = recorded.nextFrame();
    ASSERT_TRUE(with);
    EXPECT_LT(plainAround(*with), 32 * 32 - 20);
}

TEST_F(X11Capture, StreamOfAClosedWindowStopsAndOneWithSoundWithoutASoundServerDoesNotStart) {
    auto soundless = configuration(64, 64, 10);
    auto withSound = soundless;
    withSound.capturesAudio = true;
    {
        const char* server = std::getenv("PULSE_SERVER");
        const std::optional<std::string> saved = server ? std::optional<std::string>(server) : std::nullopt;
        setenv("PULSE_SERVER", "unix:/nonexistent/pulse/native", 1);
        RecordedStream sound(capture(), clock, platform::DisplayContentFilter{left_}, withSound);
        const auto failure = sound.start();
        if (saved)
            setenv("PULSE_SERVER", saved->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
        ASSERT_NE(failure, std::nullopt);
        EXPECT_NE(std::string(failure->what()).find("No sound server answers"), std::string::npos) << failure->what();
    }

    auto application =
        std::make_unique<TestApplication>(TestApplicationOptions{{{"Closing", 200, 200, {{100, 100}}, {}, {}}}});
    const ShownWindow closing = waitForShown(*application, "Closing");
    ASSERT_NE(closing.xid, 0u);
    RecordedStream recorded(capture(), clock, platform::WindowContentFilter{closing.xid}, soundless);
    ASSERT_EQ(recorded.start(), std::nullopt);
    ASSERT_TRUE(recorded.nextFrame());
    application.reset();
    EXPECT_TRUE(eventually([&] { return !recorded.stopError().empty(); }));
}

// Pictures of changing sizes through one kept segment: each is the
// window's own pattern, and the segment is made anew only for a larger one.
TEST_F(X11Capture, PicturesShareOneSegmentMadeAnewOnlyForALargerOne) {
    TestApplication application({{{"Pattern", 400, 300, {{200, 200}}, {}, "2040c0"}}});
    const ShownWindow shown = waitForShown(application, "Pattern");
    ASSERT_NE(shown.xid, 0u);
    witnessOutput("xdotool windowactivate --sync " + std::to_string(shown.xid));
    platform::X11Connection connection(std::getenv("DISPLAY"));
    std::optional<long> previous;
    {
        platform::ShmImageReader pictures(connection);
        const struct {
            int width, height;
            bool madeAnew;
        } steps[] = {{200, 150, true}, {200, 150, false}, {100, 60, false}, {400, 300, true}, {300, 300, false}};
        for (const auto& step : steps) {
            const auto image = pictures.rootImage(
                platform::PixelRect{static_cast<std::uint32_t>(shown.x), static_cast<std::uint32_t>(shown.y),
                                    static_cast<std::uint32_t>(step.width), static_cast<std::uint32_t>(step.height)});
            const std::string what = std::to_string(step.width) + "x" + std::to_string(step.height);
            ASSERT_TRUE(image) << what;
            ASSERT_EQ(image->width, static_cast<std::uint32_t>(step.width)) << what;
            ASSERT_EQ(image->height, static_cast<std::uint32_t>(step.height)) << what;
            for (const auto& [x, y] :
                 {std::pair{3, 2}, {step.width - 4, step.height - 3}, {step.width / 2, step.height / 3}}) {
                EXPECT_EQ(pixelAt(*image, x, y), shown.patternAt(shown.x + x, shown.y + y))
                    << what << " at " << x << "," << y;
            }
            const auto segments = attachedSegments();
            ASSERT_EQ(segments.size(), 1u) << what;
            if (previous) {
                EXPECT_EQ(segments[0] != *previous, step.madeAnew) << what;
            }
            previous = segments[0];
        }
    }
    EXPECT_TRUE(attachedSegments().empty());
}

// A stream keeps its segment from frame to frame, remakes it when its window
// grows, and lets go of it when it stops.
TEST_F(X11Capture, StreamKeepsOneSegmentWhileItRunsAndNoneOnceStopped) {
    TestApplication application({{{"Growing", 300, 200, {{150, 150}}, {}, "c03020"}}});
    const ShownWindow growing = waitForShown(application, "Growing");
    ASSERT_NE(growing.xid, 0u);
    RecordedStream recorded(capture(), clock, platform::WindowContentFilter{growing.xid}, configuration(640, 480, 20));
    ASSERT_EQ(recorded.start(), std::nullopt);
    const auto segmentAfterFrames = [&] {
        for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(recorded.nextFrame());
        const auto segments = attachedSegments();
        EXPECT_EQ(segments.size(), 1u);
        return segments.empty() ? -1 : segments[0];
    };
    const long first = segmentAfterFrames();
    EXPECT_EQ(segmentAfterFrames(), first);
    witnessOutput("xdotool windowsize --sync " + std::to_string(growing.xid) + " 200 150");
    EXPECT_EQ(segmentAfterFrames(), first);
    witnessOutput("xdotool windowsize --sync " + std::to_string(growing.xid) + " 600 400");
    EXPECT_NE(segmentAfterFrames(), first);

    ASSERT_EQ(recorded.complete([&](auto done) { recorded.stream().stopCapture(done); }), std::nullopt);
    EXPECT_TRUE(attachedSegments().empty());
    EXPECT_EQ(recorded.stopError(), "");
}

// The display's streams take turns on one segment: each frame shows its own
// content while the other stream captures at the same time, and the segment
// goes with the last stream.
TEST_F(X11Capture, StreamsOfOneDisplayTakeTurnsOnOneSegment) {
    TestApplication mine({{{"Mine", 400, 300, {{100, 100}}, {}, "c03020"}}});
    const ShownWindow window = waitForShown(mine, "Mine");
    TestApplication other({{{"Other", 300, 300, {{700, 150}}, {}, "20a040"}}, std::string(kSecondTestApplicationId)});
    const ShownWindow elsewhere = waitForShown(other, "Other");
    ASSERT_NE(window.xid, 0u);
    ASSERT_NE(elsewhere.xid, 0u);
    const auto bounds = desktop->displays().bounds(left_);
    const auto full =
        configuration(static_cast<std::int64_t>(bounds.width), static_cast<std::int64_t>(bounds.height), 20);
    auto display = std::make_unique<RecordedStream>(capture(), clock, platform::DisplayContentFilter{left_}, full);
    auto application =
        std::make_unique<RecordedStream>(capture(), clock, platform::ApplicationContentFilter{left_, mine.pid()}, full);
    ASSERT_EQ(display->start(), std::nullopt);
    ASSERT_EQ(application->start(), std::nullopt);

    const Rgb black{0, 0, 0};
    for (int frame = 0; frame < 5; ++frame) {
        const auto shown = display->nextFrame();
        const auto composed = application->nextFrame();
        ASSERT_TRUE(shown && composed) << "frame " << frame;
        for (const auto& [x, y] : window.quadrantCentres()) {
            EXPECT_TRUE(near(pixelAt(*shown, x, y), window.patternAt(x, y))) << text(pixelAt(*shown, x, y));
            EXPECT_TRUE(near(pixelAt(*composed, x, y), window.patternAt(x, y))) << text(pixelAt(*composed, x, y));
        }
        for (const auto& [x, y] : elsewhere.quadrantCentres()) {
            EXPECT_TRUE(near(pixelAt(*shown, x, y), elsewhere.patternAt(x, y))) << text(pixelAt(*shown, x, y));
            EXPECT_TRUE(near(pixelAt(*composed, x, y), black)) << text(pixelAt(*composed, x, y));
        }
        EXPECT_EQ(attachedSegments().size(), 1u) << "frame " << frame;
    }
    display.reset();
    EXPECT_EQ(attachedSegments().size(), 1u);
    application.reset();
    EXPECT_TRUE(attachedSegments().empty());
}

}  // namespace
}  // namespace zentrabo::testing
