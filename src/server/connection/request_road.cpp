// The road of one request, top to bottom: handshake, admission, the capped
// line read under the 12 s deadline, decode, the dispatch on the main loop,
// and the reply with its delayed close.
#include "server/connection/request_road.hpp"

#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"
#include "model/task_failure.hpp"
#include "model/json/model_record_json.hpp"
#include "platform/dispatch/awaited_answer.hpp"
#include "platform/host/host_address.hpp"
#include "platform/random/uuid.hpp"
#include "platform/text/log_escape.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"

// GCC 12 takes a coroutine awaiting another of the same file for a
// mismatched new and delete of Asio's recycling frame allocator (a false
// positive, gone in GCC 13).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace zentrabo {
namespace {

// Characters of a request's action that reach the log; the action is the
// peer's text, so it is escaped and cut.
constexpr std::size_t loggedActionLength = 200;

// How long the uses of requests answered off the main loop may wait for
// their record once the main loop has recorded some.
constexpr double usesVisitInterval = 0.1;

// However its road ends, a connection is closed, which takes it out of the
// admission count; one that a stream took over is the stream's to close.
class RoadEnd {
public:
    explicit RoadEnd(std::shared_ptr<ServerConnection> connection) : connection_(std::move(connection)) {}
    ~RoadEnd() {
        if (connection_) connection_->close();
    }
    RoadEnd(const RoadEnd&) = delete;
    RoadEnd& operator=(const RoadEnd&) = delete;

    void leaveToStream() { connection_.reset(); }

private:
    std::shared_ptr<ServerConnection> connection_;
};

}  // namespace

RequestRoad::RequestRoad(RequestRoadEnvironment environment)
    : environment_(std::move(environment)),
      connections_(std::make_shared<ServerConnections>(environment_.requestLimits)),
      mainLoopGate_(std::make_shared<platform::MainLoopGate>(environment_.mainLoop)) {
    // The network threads size each connection's limits by whether its
    // certificate is paired.
    connections_->pairedFingerprints().update(*environment_.authorization.pairedDevices());
    environment_.authorization.pairedDevices().observe(
        [connections = connections_](const std::vector<AuthorizedClientDevice>& devices) {
            connections->pairedFingerprints().update(devices);
        });
}

RequestRoad::~RequestRoad() { mainLoopGate_->close(); }

void RequestRoad::take(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer,
                       std::shared_ptr<platform::TlsContext> context) {
    auto connection =
        std::make_shared<ServerConnection>(std::move(socket), peer, std::move(context), environment_.clock);
    if (connections_->add(connection)) {
        ZENTRABO_LOG("Connection closed to make room: too many connections in their handshake");
    }
    ZENTRABO_LOG("Accepted connection");
    // Posted, not started here: the handshake's first step, which finds the
    // client's hello waiting, is most of its work, and the accept of the
    // next connection would wait for it. The road reports its own failures;
    // an exception that ends it is a fault worth a log line.
    asio::post(connection->strand(), [this, connection] {
        asio::co_spawn(connection->strand(), serve(connection), LogTaskFailure("Connection failed: "));
    });
}

void RequestRoad::closeAll() { connections_->closeAll(); }

asio::awaitable<void> RequestRoad::serve(std::shared_ptr<ServerConnection> connection) {
    RoadEnd end(connection);
    // The handshake and the read share one deadline, which closes the
    // connection.
    auto deadline = connection->startDeadline(ServerConnection::initialRequestTimeout, [] {
        ZENTRABO_LOG("Connection closed before the initial request was received");
    });
    auto line = co_await receive(*connection);
    deadline.cancel();
    if (!line || connection->deadlinePassed()) co_return;

    const bool peerHasHungUp = line->endedByPeer;
    auto bytesAfterLine = std::move(line->bytesAfterLine);
    auto share = std::move(line->share);
    const auto arrival = std::make_shared<Arrival>(Arrival{decode(std::move(*line)), std::move(share)});
    line.reset();
    const Peer peer{connection->peerCertificateFingerprint(), connection->remoteEndpoint()};
    auto answered = answerOffMainLoop(*arrival, peer);
    if (!answered) {
        // The dispatcher owns the server's state, so the answer is made on
        // the main loop; once the road is gone its gate drops the work, and
        // the waiting connection ends with the network threads. Named: GCC 12
        // destroys a temporary of a co_await expression twice.
        std::function<void(platform::AnswerCompletion<DispatchOutcome>)> dispatch =
            [this, arrival, peer](platform::AnswerCompletion<DispatchOutcome> finish) {
                mainLoopGate_->post([this, arrival, peer, finish] { answer(*arrival, peer, finish); });
            };
        answered = co_await platform::awaitAnswer<DispatchOutcome>(std::move(dispatch));
    }
    auto outcome = std::move(*answered);
    if (auto* handOver = std::get_if<StreamHandOver>(&outcome.answer)) {
        // From here on the connection carries frames, and the session owns
        // it, unless the stream server has no place left for it.
        connection->startStreaming(std::move(bytesAfterLine));
        const auto refused =
            handOver->streamServer->startSession(handOver->options, handOver->clientCertificateFingerprint, connection);
        if (!refused) {
            end.leaveToStream();
            co_return;
        }
        HalvardineResponse refusal;
        refusal.error = std::string(*refused);
        outcome = DispatchOutcome::refusal(std::move(refusal), true);
    }
    std::string bytes;
    if (const auto* response = std::get_if<HalvardineResponse>(&outcome.answer)) {
        try {
            encodeRecord(*response, bytes);
            bytes.push_back('\n');
        } catch (const std::exception& error) {
            if (!outcome.takesConnectionOver) {
                ZENTRABO_LOG(std::string("Response encoding/send failed: ") + error.what());
                co_return;
            }
            HalvardineResponse unsent;
            unsent.error = error.what();
            outcome = DispatchOutcome::refusal(std::move(unsent), true);
        }
    }
    if (const auto* frame = std::get_if<StreamErrorFrame>(&outcome.answer)) {
        // The frame, its send and the close after it are the stream
        // connection's.
        connection->sendScreenStreamError(frame->message);
        end.leaveToStream();
        co_return;
    }
    co_await sendFinal(*connection, bytes, ServerConnection::closeDelayAfterReply, peerHasHungUp);
}

asio::awaitable<std::optional<RequestLine>> RequestRoad::receive(ServerConnection& connection) {
    if (const std::error_code error = co_await connection.handshake()) {
        // No TLS session came up, so nothing can be answered over it: the
        // connection goes at once. One that the deadline or a newcomer ended
        // is already accounted for.
        if (!connection.deadlinePassed() && !connection.wasClosedUnheard()) {
            ZENTRABO_LOG("Request failed before processing: The TLS handshake failed: " + error.message());
            connection.close();
        }
        co_return std::nullopt;
    }
    // The certificate tells a paired device from a stranger, and with it how
    // long the line may grow.
    const auto admission = connections_->admitPeer(&connection, connection.peerCertificateFingerprint());
    if (admission == ServerConnections::Admission::refused) {
        if (!connection.wasClosedUnheard()) {
            ZENTRABO_LOG("Connection refused: too many connections from unpaired clients");
            connection.close();
        }
        co_return std::nullopt;
    }
    const std::size_t lineLimit = admission == ServerConnections::Admission::paired
                                      ? connections_->pairedLineLimit()
                                      : ServerConnection::unpairedRequestLineLimit;
    auto budget = connections_->lineBudget();
    co_return co_await connection.readLine(lineLimit, std::move(budget));
}

std::variant<HalvardineRequest, std::string> RequestRoad::decode(RequestLine line) const {
    try {
        if (line.error) throw std::runtime_error(*line.error);
        return decodeRecordFromNetworkInPlace<HalvardineRequest>(line.bytes, environment_.requestLimits.valueCount);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Request failed before processing: ") + error.what());
        return std::string(error.what());
    }
}

std::optional<DispatchOutcome> RequestRoad::answerOffMainLoop(Arrival& arrival, const Peer& peer) {
    const auto* request = std::get_if<HalvardineRequest>(&arrival.request);
    if (!request) return std::nullopt;
    auto answer = environment_.dispatcher.answerOffMainLoop(*request, peer.certificateFingerprint);
    if (!answer) return std::nullopt;
    arrival.share = {};
    ZENTRABO_LOG("Processing request: " + platform::escapeForLog(request->action, loggedActionLength));
    if (pendingUses_.add(std::move(answer->fingerprint), peer.endpoint)) {
        mainLoopGate_->post([this] { recordPendingUses(); });
    }
    return DispatchOutcome{std::move(answer->response)};
}

void RequestRoad::answer(Arrival& arrival, const Peer& peer, RequestDispatcher::OutcomeCompletion finish) {
    // Handling may wait for seconds: the share of the budget of all lines
    // goes first.
    arrival.share = {};
    if (const auto* reason = std::get_if<std::string>(&arrival.request)) {
        // The request's own id is not known.
        HalvardineResponse response = environment_.replies.identityResponse(platform::Uuid::random().uuidString, false);
        response.error = *reason;
        finish({std::move(response)});
        return;
    }
    const auto& request = std::get<HalvardineRequest>(arrival.request);
    ZENTRABO_LOG("Processing request: " + platform::escapeForLog(request.action, loggedActionLength));
    environment_.dispatcher.dispatch(request, connectionChannel(peer.endpoint), peer.certificateFingerprint,
                                     std::move(finish));
}

void RequestRoad::recordPendingUses() {
    auto pending = pendingUses_.take();
    if (pending.empty()) return;
    std::vector<AuthorizedUse> uses;
    for (auto& [fingerprint, endpoint] : pending) uses.push_back({fingerprint, connectionChannel(endpoint)});
    environment_.dispatcher.recordOffLoopAnswers(uses);
    usesVisit_ = environment_.clock.schedule(environment_.mainLoop, usesVisitInterval, [this] { recordPendingUses(); });
}

HalvardineExtraAuthorizationChannel RequestRoad::connectionChannel(
    const std::optional<asio::ip::tcp::endpoint>& endpoint) const {
    // Tunnelled clients reach the listener from the relay connector's
    // loopback connections.
    if (*environment_.relay.relayEnabled() &&
        *environment_.relay.relayConnectionState() == HalvardineRelayConnectionState::connected && endpoint &&
        platform::isLoopbackHost(*endpoint)) {
        return HalvardineExtraAuthorizationChannel::relay;
    }
    return HalvardineExtraAuthorizationChannel::local;
}

asio::awaitable<void> RequestRoad::sendFinal(ServerConnection& connection, const std::string& bytes, double closeDelay,
                                             bool peerHasHungUp) {
    // The send bound ends the write of a client that stopped reading. It
    // starts with the first wait: a reply the socket takes at once needs
    // none.
    platform::Timer bound;
    bool bounded = false;
    const std::function<void()> startBound = [&] {
        if (std::exchange(bounded, true)) return;
        bound = connection.startDeadline(ServerConnection::maximumSendDuration, [] {
            ZENTRABO_LOG("Response send failed: " + std::error_code(asio::error::timed_out).message());
        });
    };
    const std::error_code error = co_await connection.writeFinal(bytes, startBound);
    bound.cancel();
    if (connection.deadlinePassed()) co_return;
    if (error) {
        ZENTRABO_LOG("Response send failed: " + error.message());
        connection.close();
        co_return;
    }
    // A peer that ended its request by hanging up waits for nothing more,
    // and a read past the end of its stream would only wait for the delay.
    if (peerHasHungUp) {
        connection.closeAfterDraining();
        co_return;
    }
    // Counted from the completed send, so the message has left before the
    // close. A peer that closes its side meanwhile has read what it wanted:
    // its connection goes at once instead of holding a socket until then.
    const auto delay = connection.startDeadline(closeDelay, {}, true);
    co_await connection.discardUntilPeerCloses();
    connection.closeAfterDraining();
}

}  // namespace zentrabo
