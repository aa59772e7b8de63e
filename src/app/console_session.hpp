#pragma once
// One attached console: its socket, a terminal front of its own, the
// command lines read from the socket and the front's output written back.
// Input lines are bounded in length and in number (past maximumHeldLines
// the reading waits, so a flood piles up in the socket, not in memory); the
// output not yet taken by the console is bounded too: past
// maximumOutputBacklog the console is disconnected.
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <asio/local/stream_protocol.hpp>

#include "app/bounded_lines.hpp"

namespace zentrabo {

class HalvardineServer;
class TerminalEvents;
class TerminalFront;

class ConsoleSession : public std::enable_shared_from_this<ConsoleSession> {
public:
    static constexpr std::size_t maximumLineLength = 4096;
    static constexpr std::size_t maximumHeldLines = 64;
    static constexpr std::size_t maximumOutputBacklog = 1 << 20;

    using Socket = asio::local::stream_protocol::socket;
    // Called once, on the main loop, when the session has ended.
    using Ended = std::function<void(const ConsoleSession&)>;

    // quitServer stops the server after the console's "quit".
    ConsoleSession(Socket socket, std::function<void()> quitServer, Ended ended);
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;
    ~ConsoleSession();

    // Says the console is attached and starts reading; on the main loop. The
    // server and the events outlive the front, which end() lets go.
    void start(HalvardineServer& server, TerminalEvents& events, std::string desktop, std::string attachedLine);
    // Writes what the console takes at once of the output left, closes the
    // socket and lets the front go. Not to be called from the front's own
    // handlers (they post it).
    void end(std::string_view why);

private:
    void write(std::string_view line);
    void sendPending();
    void readMore();
    void received(std::size_t count);
    void deliver(BoundedLines::Line line);
    // Ends the session soon, outside of whatever front code is running.
    void endSoon(std::string why, std::function<void()> then = {});
    void endWhenInputDone();

    Socket socket_;
    std::function<void()> quitServer_;
    Ended ended_;
    std::unique_ptr<TerminalFront> front_;
    BoundedLines lines_{maximumLineLength};
    std::array<char, 4096> chunk_{};
    std::string output_;
    // Lines handed to the front and not yet run or answered.
    std::size_t heldLines_ = 0;
    bool isReading_ = false;
    bool isWaitingToWrite_ = false;
    bool isInputEnded_ = false;
    bool isEnding_ = false;
    bool hasEnded_ = false;
    // Set when the console's backlog passed its bound.
    bool isDropped_ = false;
};

}  // namespace zentrabo
