// The "screenStream" request: its checks, and the refusals that answer it on
// its own connection.
#include <utility>

#include "model/diagnostic_log.hpp"
#include "model/json/record_json.hpp"
#include "server/connection/request_road.hpp"
#include "server/connection/screen_stream_error.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view incompatibleStreamMessage = "The Mac server is not compatible with this stream request.";

}  // namespace

void RequestRoad::handleScreenStreamRequest(const HalvardineRequest& request,
                                            const std::optional<std::string>& clientCertificateFingerprint,
                                            HalvardineExtraAuthorizationChannel channel,
                                            const std::shared_ptr<ServerConnection>& connection) {
    // A client that asked for a stream reads frames, so every refusal but
    // the extra authorization's is one error frame.
    if (const auto refusal = environment_.replies.protocolVersionFailureResponse(request)) {
        sendScreenStreamError(refusal->error.value_or(std::string(incompatibleStreamMessage)), *connection);
        return;
    }
    const auto fingerprint = environment_.authorization.authorizeClient(clientCertificateFingerprint, channel);
    if (!fingerprint) {
        sendScreenStreamError("Not authorized.", *connection);
        return;
    }
    // Answered as a reply line: the client asks for the password and comes back.
    if (auto refusal = environment_.extraAuthorization.requireExtraAuthorization(
            HalvardineExtraAuthorizationScope::stream, request, channel, *fingerprint)) {
        sendScreenStreamResponse(*refusal, connection);
        return;
    }
    if (!request.screenStream) {
        sendScreenStreamError("No screen stream request was provided.", *connection);
        return;
    }
    // Stream sessions are not built yet: say so rather than leave the
    // client waiting for frames that never come.
    sendScreenStreamError("Screen streaming is not available on this server.", *connection);
}

void RequestRoad::sendScreenStreamResponse(const HalvardineResponse& response,
                                           const std::shared_ptr<ServerConnection>& connection) {
    std::string bytes;
    try {
        encodeRecord(response, bytes);
    } catch (const std::exception& error) {
        sendScreenStreamError(error.what(), *connection);
        return;
    }
    bytes.push_back('\n');
    connection->sendFinal(std::move(bytes), ServerConnection::closeDelayAfterReply);
}

}  // namespace zentrabo
