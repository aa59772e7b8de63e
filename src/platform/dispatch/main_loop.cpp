#include "platform/dispatch/main_loop.hpp"

#include <asio/post.hpp>

namespace zentrabo::platform {

MainLoop::MainLoop() : context_(1), keepAlive_(context_.get_executor()) {}

void MainLoop::run() { context_.run(); }

std::size_t MainLoop::runReady() {
    context_.restart();
    return context_.poll();
}

void MainLoop::stop() { context_.stop(); }

void MainLoop::post(std::function<void()> handler) { asio::post(context_, std::move(handler)); }

}  // namespace zentrabo::platform
