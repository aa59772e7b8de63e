#include "app/standard_input_lines.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include <asio/post.hpp>

#include "app/bounded_lines.hpp"
#include "platform/dispatch/thread_name.hpp"

namespace zentrabo {

StandardInputLines::StandardInputLines(int descriptor, asio::any_io_executor mainLoop, LineHandler handler)
    : mainLoop_(std::move(mainLoop)), handler_(std::move(handler)) {
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) return;  // without it, no reading: nothing could stop it
    thread_ = std::thread([this, descriptor] {
        platform::setCurrentThreadName("zb-stdin");
        read(descriptor);
    });
}

StandardInputLines::~StandardInputLines() {
    {
        std::lock_guard guard(pending_->mutex);
        pending_->isStopping = true;
    }
    pending_->room.notify_all();
    if (stopPipe_[1] >= 0) {
        const char stop = 0;
        while (::write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
        }
    }
    if (thread_.joinable()) thread_.join();
    for (int end : stopPipe_) {
        if (end >= 0) close(end);
    }
}

void StandardInputLines::read(int descriptor) {
    BoundedLines lines(maximumLineLength);
    std::array<char, 4096> chunk{};
    for (;;) {
        std::array<pollfd, 2> ready{{{descriptor, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}}};
        if (::poll(ready.data(), ready.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (ready[1].revents != 0) return;
        const ssize_t count = ::read(descriptor, chunk.data(), chunk.size());
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (count <= 0) {
            // End of input (or input that cannot be read): a last line
            // without its line feed still counts.
            if (count == 0) {
                if (auto last = lines.finish()) deliver(std::move(*last));
            }
            return;
        }
        const bool isReading = lines.feed(std::string_view(chunk.data(), static_cast<std::size_t>(count)),
                                          [this](BoundedLines::Line line) { return deliver(std::move(line)); });
        if (!isReading) return;
    }
}

bool StandardInputLines::deliver(std::optional<std::string> line) {
    {
        std::unique_lock lock(pending_->mutex);
        pending_->room.wait(lock, [&] { return pending_->count < maximumPendingLines || pending_->isStopping; });
        if (pending_->isStopping) return false;
        ++pending_->count;
    }
    LineSlot slot(nullptr, [pending = pending_](void*) {
        {
            std::lock_guard guard(pending->mutex);
            --pending->count;
        }
        pending->room.notify_one();
    });
    asio::post(mainLoop_, [handler = handler_, line = std::move(line), slot = std::move(slot)]() mutable {
        handler(std::move(line), std::move(slot));
    });
    return true;
}

}  // namespace zentrabo
