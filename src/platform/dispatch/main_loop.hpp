#pragma once
// The main loop: one io_context that the main thread runs for the life of the
// program. Everything that owns server state runs on it.
#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>

#include <functional>

namespace zentrabo::platform {

class MainLoop {
public:
    MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // Runs handlers on the calling thread until stop(); idle time does not end
    // it. After stop(), also a stop() that came before run(), it returns at once.
    void run();
    // Runs the handlers that are ready now, without waiting, even after a
    // stop(); for tests.
    std::size_t runReady();
    // Makes run() return; handlers still queued stay queued.
    void stop();

    void post(std::function<void()> handler);
    asio::io_context::executor_type executor() { return context_.get_executor(); }
    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> keepAlive_;
};

}  // namespace zentrabo::platform
