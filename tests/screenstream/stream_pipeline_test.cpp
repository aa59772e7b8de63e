// The pipeline's own seams, on a manual clock with its start run on the
// test's main loop: a stop that overtakes a start, a change asked for while
// the start is still under way, and the bound of a hand-off between stages.
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>

#include "capture_stream_doubles.hpp"
#include "direct_session_fixture.hpp"
#include "screenstream/pipeline/bounded_mailbox.hpp"
#include "support/main_loop_wait.hpp"

namespace zentrabo::testing {
namespace {

class StreamPipelineTest : public DirectSessionTest {
public:  // the tables' steps reach in
    // A display stream with sound riding on its video; the capture's start
    // answers after `startSeconds` on the clock.
    void startSession(double startSeconds) {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1600, 1000});
        start(builder, {});
        selected.filter = platform::DisplayContentFilter{1};
        selected.sourceWidth = 1600;
        selected.sourceHeight = 1000;
        stages = {[this](auto&&...) -> std::shared_ptr<VideoEncoder> {
                      ++made;
                      return encoder;
                  },
                  [this](int, EncodedFrameHandler) -> std::shared_ptr<AudioEncoder> {
                      ++made;
                      return nullptr;
                  },
                  [this, startSeconds](const platform::ContentFilter&, const platform::StreamConfiguration&,
                                       platform::CaptureStreamStopHandler onStop) {
                      ++made;
                      stream = std::make_shared<QuietCaptureStream>(std::move(onStop), clock, startSeconds,
                                                                    mainLoop.executor());
                      return stream;
                  }};
    }

    // Runs the start on the main loop; its outcome is "" or what it threw.
    std::shared_ptr<std::optional<std::string>> startPipeline() {
        auto outcome = std::make_shared<std::optional<std::string>>();
        asio::co_spawn(mainLoop.executor(), session->pipeline().start(selected, stages),
                       [outcome](std::exception_ptr failure) {
                           *outcome = "";
                           try {
                               if (failure) std::rethrow_exception(failure);
                           } catch (const std::exception& error) {
                               *outcome = error.what();
                           }
                       });
        mainLoop.runReady();
        return outcome;
    }

    // The change's failure kind, or "" when it was made.
    std::string changeOutcome() {
        std::promise<std::string> answered;
        auto outcome = answered.get_future();
        asio::co_spawn(mainLoop.executor(), session->pipeline().reconfigure(platform::DisplayContentFilter{2}),
                       [&answered](std::exception_ptr, std::optional<StreamPipeline::ChangeFailure> failure) {
                           using Kind = StreamPipeline::ChangeFailure::Kind;
                           answered.set_value(!failure                          ? ""
                                              : failure->kind == Kind::timedOut ? "timed out"
                                              : failure->kind == Kind::refused  ? "refused"
                                                                                : "not running");
                       });
        EXPECT_TRUE(runMainLoopUntil(
            mainLoop, [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return outcome.get();
    }

    void drainEncoderQueue() {
        std::promise<void> reached;
        session->pipeline().encoderQueue().post([&] { reached.set_value(); });
        reached.get_future().wait();
    }

    SelectedContent selected;
    StreamStages stages;
    int made = 0;
    std::shared_ptr<CountingVideoEncoder> encoder = std::make_shared<CountingVideoEncoder>();
    std::shared_ptr<QuietCaptureStream> stream;
};

TEST_F(StreamPipelineTest, AStopOvertakingAStartLeavesNothingRunningAndNothingToRetry) {
    enum class When { beforeTheStart, whileCaptureStarts, afterTheStart };
    struct Row {
        const char* name;
        When when;
        bool startSucceeds;
        int made;  // stages the start made
        int encoderShutdowns;
        int streamStops;
    };
    using enum When;
    const std::vector<Row> rows = {
        {"a start after the stop makes nothing", beforeTheStart, false, 0, 0, 0},
        // Without sound the start would be tried once more: it is not.
        {"a stop while capture starts", whileCaptureStarts, false, 3, 1, 1},
        {"a stop after the start", afterTheStart, true, 3, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        encoder = std::make_shared<CountingVideoEncoder>();
        made = 0;
        startSession(row.when == whileCaptureStarts ? 1 : 0);
        if (row.when == beforeTheStart) session->stop();
        const auto outcome = startPipeline();
        if (row.when == whileCaptureStarts) {
            ASSERT_FALSE(outcome->has_value());
            session->stop();
        }
        advance(1);
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return outcome->has_value(); }));
        if (row.when == afterTheStart) session->stop();
        drainEncoderQueue();
        EXPECT_EQ((*outcome)->empty(), row.startSucceeds) << **outcome;
        EXPECT_EQ(made, row.made);
        EXPECT_EQ(encoder->shutdowns.load(), row.encoderShutdowns);
        EXPECT_EQ(stream ? stream->stops.load() : 0, row.streamStops);
        EXPECT_EQ(home.logCount("retrying video-only"), 0u);
        EXPECT_EQ(clock.pendingCount(), 0u);
        stream.reset();
    }
}

TEST_F(StreamPipelineTest, AChangeIsMadeOnlyWhileTheCaptureRuns) {
    startSession(1);
    EXPECT_EQ(changeOutcome(), "not running") << "before the start";
    const auto outcome = startPipeline();
    EXPECT_EQ(changeOutcome(), "not running") << "while capture starts";
    advance(1);
    ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return outcome->has_value(); }));
    EXPECT_EQ(**outcome, "");
    EXPECT_EQ(changeOutcome(), "") << "while it runs";
    session->stop();
    EXPECT_EQ(changeOutcome(), "not running") << "after the stop";
}

TEST(BoundedMailboxTest, ItemsPastTheBoundAreRefusedUntilTheWaitingOnesAreTaken) {
    for (const std::size_t bound : {std::size_t{0}, std::size_t{1}, std::size_t{4}}) {
        SCOPED_TRACE(bound);
        // Before the queue, so its thread is gone before the items are.
        std::vector<int> received;
        platform::SerialQueue queue("test.mailbox");
        BoundedMailbox<int> mailbox(bound);
        std::promise<void> release;
        queue.post([gate = release.get_future().share()] { gate.wait(); });
        const auto offer = [&](int item) {
            return mailbox.offer(queue, item, [&received](int taken) { received.push_back(taken); });
        };
        std::size_t accepted = 0;
        for (int item = 0; item < 6; ++item) accepted += offer(item) ? 1 : 0;
        EXPECT_EQ(accepted, bound);
        EXPECT_EQ(mailbox.waiting(), bound);
        release.set_value();
        std::promise<void> drained;
        queue.post([&] { drained.set_value(); });
        drained.get_future().wait();
        EXPECT_EQ(mailbox.waiting(), 0u);
        EXPECT_EQ(received.size(), bound);
        EXPECT_EQ(offer(9), bound > 0);
    }
}

}  // namespace
}  // namespace zentrabo::testing
