#pragma once
// A stream session made directly, with no server and no network: its tasks
// strand is the test's main loop on a manual clock, so tracking steps and
// their waits run when the test advances the clock and runs the loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/error.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/context_threads.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/pipeline/stream_stages.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "support/main_loop_wait.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {

// A connection that never receives and drops what is sent.
class IdleStreamConnection final : public StreamConnection {
public:
    using StreamConnection::StreamConnection;

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer) override {
        co_return std::tuple{make_error_code(asio::error::eof), std::size_t{0}};
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer) override { co_return std::error_code{}; }
    void closeTransport(bool) override {}
};

class DirectSessionTest : public ::testing::Test {
public:  // the tables' steps reach in
    DirectSessionTest() {
        pool.addThread();
        pool.addThread();
    }

    // Without a connection, one that drops what is sent; without a work
    // pool, the main loop.
    void start(const platform::DesktopBuilder& builder, const RemoteScreenStreamRequest& request,
               std::shared_ptr<StreamConnection> connection = nullptr, asio::any_io_executor workPool = {}) {
        std::filesystem::create_directories(home.logFolder());
        // A session of an earlier start refers to the controller, the
        // controller to the desktop.
        session.reset();
        controller.reset();
        desktop = platform::VirtualDesktop::create(builder.build(), clock);
        controller = std::make_unique<DesktopController>(*desktop);
        if (!connection) connection = std::make_shared<IdleStreamConnection>(mainLoop.executor(), clock);
        if (!workPool) workPool = mainLoop.executor();
        session = RemoteScreenStreamSession::make(
            platform::Uuid::random(), request, std::move(connection),
            RemoteScreenStreamSession::Environment{
                clock, mainLoop.executor(), pool.sharedContext(), std::move(workPool), *controller, {}, {}});
    }

    // Starts the session's pipeline on the selection with the test's encoder
    // and capture stream; encoders made later (a resize's) are real ones.
    void startPipeline(const SelectedContent& selected, std::shared_ptr<VideoEncoder> encoder,
                       std::shared_ptr<platform::CaptureStream> stream) {
        session->selection().apply(selected);
        auto stages = desktopStreamStages(desktop->screenCapture());
        // Shared by the copies the pipeline makes of its makers.
        auto first = std::make_shared<std::shared_ptr<VideoEncoder>>(std::move(encoder));
        stages.videoEncoder = [first, real = stages.videoEncoder](
                                  const RemoteScreenStreamRequest& request, PixelSize size, int framesPerSecond,
                                  EncodedFrameHandler onFrame, const platform::Clock& clock) {
            if (*first) return std::exchange(*first, nullptr);
            return real(request, size, framesPerSecond, std::move(onFrame), clock);
        };
        stages.captureStream = [stream](auto&&...) { return stream; };
        auto done = std::make_shared<std::optional<std::string>>();
        asio::co_spawn(mainLoop.executor(), session->pipeline().start(selected, std::move(stages)),
                       [done](std::exception_ptr failure) {
                           *done = "";
                           try {
                               if (failure) std::rethrow_exception(failure);
                           } catch (const std::exception& error) {
                               *done = error.what();
                           }
                       });
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return done->has_value(); }));
        ASSERT_EQ(**done, "");
    }

    void TearDown() override {
        if (session) session->stop();
        mainLoop.runReady();
    }

    void advance(double seconds) {
        clock.advance(seconds);
        mainLoop.runReady();
    }

    // The messages of the log lines that hold the text, in order, without
    // their time and source.
    std::vector<std::string> logMessages(std::string_view containing) const {
        std::istringstream lines(home.logText());
        std::vector<std::string> messages;
        for (std::string line; std::getline(lines, line);) {
            if (line.find(containing) == std::string::npos) continue;
            const auto source = line.find("] ");
            const auto message = line.find(' ', source + 2);
            messages.push_back(line.substr(message + 1));
        }
        return messages;
    }

    TemporaryHome home;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    platform::MainLoop mainLoop;
    std::shared_ptr<platform::VirtualDesktop> desktop;
    std::unique_ptr<DesktopController> controller;
    std::shared_ptr<RemoteScreenStreamSession> session;
    // The session's capture and control strands run here, as in the server.
    // Declared last, so its threads have stopped before the session, the
    // controller and the desktop go: a handler still running there would
    // otherwise reach a desktop already freed.
    platform::ContextThreads pool{"test.pool", 2};
};

}  // namespace zentrabo::testing
