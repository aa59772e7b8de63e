#pragma once
// A request as a current device sends it: its id, its action and the
// protocol version it speaks.
#include <string>
#include <utility>

#include "model/halvardine_protocol.hpp"
#include "model/records/halvardine_request.hpp"

namespace zentrabo::testing {

inline HalvardineRequest deviceRequest(std::string id, std::string action) {
    HalvardineRequest request;
    request.id = std::move(id);
    request.action = std::move(action);
    request.clientProtocolVersion = HalvardineProtocol::currentVersion;
    return request;
}

}  // namespace zentrabo::testing
