#pragma once
// What the dispatcher gives the connection for one request.
#include <memory>
#include <string>
#include <variant>

#include "model/records/halvardine_response.hpp"
#include "model/records/stream_records.hpp"
#include "screenstream/remote_screen_stream_server.hpp"

namespace zentrabo {

// The one frame that refuses or ends a stream request; its connection closes
// shortly after the frame has gone out.
struct StreamErrorFrame {
    std::string message;
};

// A stream request that passed every check: on its strand, the connection
// goes to a new session of the stream server.
struct StreamHandOver {
    std::shared_ptr<RemoteScreenStreamServer> streamServer;
    RemoteScreenStreamRequest options;
    std::string clientCertificateFingerprint;
};

using DispatchAnswer = std::variant<HalvardineResponse, StreamErrorFrame, StreamHandOver>;

struct DispatchOutcome {
    DispatchAnswer answer;
    // Set for a row that takes the connection over: its client reads
    // frames, so a reply line that cannot be encoded becomes an error frame.
    bool takesConnectionOver = false;

    // How every refusal reaches its client: one that asked to take the
    // connection over reads frames, so it gets the error frame with the
    // reply's error text; any other client gets the reply line.
    static DispatchOutcome refusal(HalvardineResponse reply, bool takesConnectionOver);
};

}  // namespace zentrabo
