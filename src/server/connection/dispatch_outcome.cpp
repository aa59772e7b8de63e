#include "server/connection/dispatch_outcome.hpp"

#include <string_view>
#include <utility>

namespace zentrabo {
namespace {

// A version refusal always names its reason; this stands in should one not.
constexpr std::string_view incompatibleStreamMessage = "The Mac server is not compatible with this stream request.";

}  // namespace

DispatchOutcome DispatchOutcome::refusal(HalvardineResponse reply, bool takesConnectionOver) {
    if (!takesConnectionOver) return {std::move(reply), false};
    return {StreamErrorFrame{reply.error.value_or(std::string(incompatibleStreamMessage))}, true};
}

}  // namespace zentrabo
