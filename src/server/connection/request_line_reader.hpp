#pragma once
// A connection's first line, gathered from whatever pieces its reads give.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/json/json_input_buffer.hpp"
#include "server/connection/request_line_budget.hpp"

namespace zentrabo {

// What reading a connection's one request gave: the bytes of its first line
// (without the line feed), or the reason there are none.
struct RequestLine {
    platform::JsonInputBuffer bytes;
    // What the bytes take of the budget of all lines, until they go.
    RequestLineShare share;
    std::optional<std::string> error;
    // The peer ended its request by hanging up its side.
    bool endedByPeer = false;
    // What the read took past the line feed: for a stream, its first input.
    std::vector<std::uint8_t> bytesAfterLine = {};
};

// Reads go straight into the line's buffer; every byte read counts against
// the budget of all lines, and only the new bytes are searched for the line
// feed, so a line split over many reads costs no more than one read.
class RequestLineReader {
public:
    enum class Progress {
        reading,   // no line feed yet
        complete,  // line() is the first line, bytesAfterLine what followed it
        tooLarge,  // past the line's cap or the budget of all lines
    };

    RequestLineReader(std::size_t lineLimit, std::shared_ptr<RequestLineBudget> budget);

    // Where the next read puts at most chunkSize bytes: never more than one
    // byte past the cap, which tells that the line is too long.
    std::span<char> room(std::size_t chunkSize);
    // Takes count bytes that the read wrote into the room.
    Progress commit(std::size_t count);

    RequestLine& line() { return line_; }

private:
    std::size_t lineLimit_;
    RequestLine line_;
};

}  // namespace zentrabo
