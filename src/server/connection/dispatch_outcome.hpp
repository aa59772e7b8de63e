#pragma once
// What the dispatcher gives the connection for one request.
#include <string>
#include <variant>

#include "model/records/halvardine_response.hpp"

namespace zentrabo {

// The one frame that refuses or ends a stream request; its connection closes
// shortly after the frame has gone out.
struct StreamErrorFrame {
    std::string message;
};

using DispatchAnswer = std::variant<HalvardineResponse, StreamErrorFrame>;

struct DispatchOutcome {
    DispatchAnswer answer;
    // Set for a row that takes the connection over: its client reads
    // frames, so a reply line that cannot be encoded becomes an error frame.
    bool takesConnectionOver = false;
};

}  // namespace zentrabo
