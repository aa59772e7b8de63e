#pragma once
// Standard input read on a thread of its own, line by line, each line handed
// to the main loop. The end of input ends only the reading.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <asio/any_io_executor.hpp>

namespace zentrabo {

class StandardInputLines {
public:
    // A command line is short; a longer one is dropped whole rather than
    // buffered without bound.
    static constexpr std::size_t maximumLineLength = 4096;
    // Lines handed over and not yet run; past it the reading waits, so
    // input arriving faster than it is run piles up in the pipe, not in
    // memory.
    static constexpr std::size_t maximumPendingLines = 64;
    // Counts a line as pending for as long as it is held: a handler that
    // keeps a line to run later keeps its slot with it.
    using LineSlot = std::shared_ptr<void>;
    // Each complete line without its line feed (a carriage return before it
    // is the front's to drop), or none for a line that was too long; on the
    // main loop.
    using LineHandler = std::function<void(std::optional<std::string>, LineSlot)>;

    StandardInputLines(int descriptor, asio::any_io_executor mainLoop, LineHandler handler);
    // Stops the reading thread, even while it waits for input.
    ~StandardInputLines();
    StandardInputLines(const StandardInputLines&) = delete;
    StandardInputLines& operator=(const StandardInputLines&) = delete;

private:
    // Shared with the handlers on the main loop, which may outlive the reader.
    struct Pending {
        std::mutex mutex;
        std::condition_variable room;
        std::size_t count = 0;
        bool isStopping = false;
    };

    void read(int descriptor);
    // False when the reader is stopping.
    bool deliver(std::optional<std::string> line);

    asio::any_io_executor mainLoop_;
    LineHandler handler_;
    std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace zentrabo
