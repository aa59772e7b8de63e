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

#include <asio/error.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/context_threads.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
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
        session = std::make_shared<RemoteScreenStreamSession>(
            platform::Uuid::random(), request, std::move(connection),
            RemoteScreenStreamSession::Environment{
                clock, mainLoop.executor(), pool.sharedContext(), std::move(workPool), *controller, {}});
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
    // The session's capture and control strands run here, as in the server.
    platform::ContextThreads pool{"test.pool", 2};
    std::shared_ptr<platform::VirtualDesktop> desktop;
    std::unique_ptr<DesktopController> controller;
    std::shared_ptr<RemoteScreenStreamSession> session;
};

}  // namespace zentrabo::testing
