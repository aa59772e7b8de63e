#pragma once
// Standard input read on a thread of its own, line by line, each line handed
// to the main loop. The end of input ends only the reading.
#include <cstddef>
#include <functional>
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
    // Each complete line without its line feed (and without a carriage
    // return before it), or none for a line that was too long; on the main loop.
    using LineHandler = std::function<void(std::optional<std::string>)>;

    StandardInputLines(int descriptor, asio::any_io_executor mainLoop, LineHandler handler);
    // Stops the reading thread, even while it waits for input.
    ~StandardInputLines();
    StandardInputLines(const StandardInputLines&) = delete;
    StandardInputLines& operator=(const StandardInputLines&) = delete;

private:
    void read(int descriptor);
    void deliver(std::optional<std::string> line);

    asio::any_io_executor mainLoop_;
    LineHandler handler_;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace zentrabo
