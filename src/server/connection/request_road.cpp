#include "server/connection/request_road.hpp"

#include <future>
#include <utility>

#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"
#include "model/halvardine_protocol.hpp"
#include "model/json/record_json.hpp"
#include "platform/host/host_address.hpp"
#include "platform/random/uuid.hpp"
#include "platform/text/log_escape.hpp"

namespace zentrabo {
namespace {

constexpr const char* listenerStoppedReason = "Pairing session cancelled because the server stopped";
// Characters of a request's action that reach the log; the action is the
// peer's text, so it is escaped and cut.
constexpr std::size_t loggedActionLength = 200;

}  // namespace

RequestRoad::RequestRoad(RequestRoadEnvironment environment)
    : environment_(std::move(environment)),
      queue_(std::make_unique<platform::SerialQueue>("HalvardineServer")),
      connections_(std::make_shared<ServerConnections>(environment_.requestLimits)) {
    // The queue sizes each connection's limits by whether its certificate is paired.
    connections_->pairedFingerprints().update(*environment_.authorization.pairedDevices());
    environment_.authorization.pairedDevices().observe(
        [connections = connections_](const std::vector<AuthorizedClientDevice>& devices) {
            connections->pairedFingerprints().update(devices);
        });
}

// Sockets go before the queue whose context they belong to.
RequestRoad::~RequestRoad() { closeNetwork(); }

void RequestRoad::start() {
    ZENTRABO_LOG("Starting server");
    if (listener_) return;
    environment_.listener.refreshServiceName();
    std::shared_ptr<ServerListener> listener;
    try {
        const TlsIdentity identity = environment_.security.loadOrCreateIdentity(true);
        environment_.listener.setServerCertificateFingerprint(identity.fingerprint);
        tlsContext_ = HalvardineSecurity::tlsParameters(platform::TlsRole::server, identity, std::nullopt);
        listener = std::make_shared<ServerListener>(queue_->executor(), environment_.listenAddress, environment_.clock);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("NWListener start failed: ") + error.what());
        environment_.listener.setListenerStatus(false, std::nullopt);
        return;
    }

    std::weak_ptr<RequestRoad> weakSelf = weak_from_this();
    std::weak_ptr<ServerListener> weakListener = listener;
    auto mainLoop = environment_.mainLoop;
    listener->start(
        [weakSelf, weakListener, mainLoop](ServerListener::State state, std::optional<std::uint16_t> port) {
            asio::post(mainLoop, [weakSelf, weakListener, state, port] {
                auto self = weakSelf.lock();
                auto listener = weakListener.lock();
                if (self && listener) self->handleListenerState(state, port, listener);
            });
        },
        connectionHandler());
    listener_ = std::move(listener);
    ZENTRABO_LOG("NWListener started");
}

void RequestRoad::restart() {
    ZENTRABO_LOG("Restarting server");
    if (listener_) listener_->cancel();
    listener_.reset();
    advertiser_.reset();
    environment_.listener.setListenerStatus(false, std::nullopt);
    environment_.relay.updateRelayConnection();
    environment_.pairing.cancelPairing("Server restarted");
    start();
}

void RequestRoad::handleListenerState(ServerListener::State state, std::optional<std::uint16_t> port,
                                      const std::shared_ptr<ServerListener>& listener) {
    if (listener != listener_) return;
    switch (state) {
    case ServerListener::State::ready:
        environment_.listener.setListenerStatus(true, port);
        environment_.relay.updateRelayConnection();
        ZENTRABO_LOG("Server ready on port " + (port ? std::to_string(*port) : std::string("unknown")));
        if (port) advertise(*port);
        break;
    case ServerListener::State::failed:
        ZENTRABO_LOG("Server listener failed");
        listener_->cancel();
        handleListenerStopped();
        break;
    case ServerListener::State::cancelled:
        ZENTRABO_LOG("Server listener cancelled");
        handleListenerStopped();
        break;
    }
}

void RequestRoad::handleListenerStopped() {
    // Nothing listens until restart() or the next launch.
    environment_.listener.setListenerStatus(false, std::nullopt);
    environment_.relay.updateRelayConnection();
    environment_.pairing.cancelPairing(listenerStoppedReason);
    listener_.reset();
    advertiser_.reset();
}

void RequestRoad::advertise(std::uint16_t port) {
    const auto& fingerprint = *environment_.listener.serverCertificateFingerprint();
    if (!environment_.advertisesService || !fingerprint) return;
    platform::DnsServiceAdvertisement advertisement;
    advertisement.name = *environment_.listener.serviceName();
    advertisement.type = std::string(HalvardineProtocol::serviceType);
    advertisement.port = port;
    advertisement.txt = {
        {"fp", *fingerprint},
        {"pv", std::to_string(HalvardineProtocol::currentVersion)},
        {"minClientPV", std::to_string(HalvardineProtocol::minimumSupportedClientVersion)},
    };
    // Clients on the same network find the server by it; without it they
    // still reach it by address, so a failure only goes to the log.
    advertiser_ = std::make_unique<platform::DnsServiceAdvertiser>(environment_.mainLoop);
    advertiser_->start(advertisement, [](std::error_code error, const std::string& name) {
        if (error) {
            ZENTRABO_LOG("Service advertisement failed: " + error.message());
        } else {
            ZENTRABO_LOG("Service advertised as " + platform::escapeForLog(name));
        }
    });
}

std::function<void(asio::ip::tcp::socket)> RequestRoad::connectionHandler() {
    // Runs on the queue, so it holds no strong reference to the road: its
    // last owner must never be a queue handler (its teardown waits for the
    // queue).
    std::weak_ptr<RequestRoad> weakSelf = weak_from_this();
    return [weakSelf, context = tlsContext_, connections = connections_, &clock = environment_.clock,
            mainLoop = environment_.mainLoop](asio::ip::tcp::socket socket) {
        auto connection = std::make_shared<ServerConnection>(std::move(socket), context, clock, connections);
        if (connections->add(connection)) {
            ZENTRABO_LOG("Connection closed to make room: too many connections in their handshake");
        }
        ZENTRABO_LOG("Accepted connection");
        std::weak_ptr<ServerConnection> weakConnection = connection;
        connection->readRequest([weakSelf, mainLoop, weakConnection](RequestLine line) {
            // Weak: the open connections own it, and a hop still waiting when
            // the road goes must not keep a socket past its queue.
            asio::post(mainLoop, [weakSelf, weakConnection, line = std::move(line)]() mutable {
                auto self = weakSelf.lock();
                auto connection = weakConnection.lock();
                if (self && connection) self->processRequest(std::move(line), connection);
            });
        });
    };
}

void RequestRoad::processRequest(RequestLine line, const std::shared_ptr<ServerConnection>& connection) {
    HalvardineRequest request;
    try {
        if (line.error) throw std::runtime_error(*line.error);
        request = decodeRecordFromNetworkInPlace<HalvardineRequest>(line.bytes, environment_.requestLimits.valueCount);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Request failed before processing: ") + error.what());
        send(earlyFailureResponse(error.what()), connection);
        return;
    }
    // Handling may wait for seconds: the line and its share of the budget
    // of all lines go first.
    line = {};
    const auto fingerprint = connection->peerCertificateFingerprint();
    const auto channel = connectionChannel(*connection);
    ZENTRABO_LOG("Processing request: " + platform::escapeForLog(request.action, loggedActionLength));
    if (request.action == "screenStream") {
        handleScreenStreamRequest(request, fingerprint, channel, connection);
        return;
    }
    std::weak_ptr<RequestRoad> weakSelf = weak_from_this();
    environment_.dispatcher.handle(request, channel, fingerprint, [weakSelf, connection](HalvardineResponse response) {
        if (auto self = weakSelf.lock()) self->send(response, connection);
    });
}

HalvardineExtraAuthorizationChannel RequestRoad::connectionChannel(const ServerConnection& connection) const {
    // Tunnelled clients reach the listener from the relay connector's
    // loopback connections.
    const auto& endpoint = connection.remoteEndpoint();
    if (*environment_.relay.relayEnabled() &&
        *environment_.relay.relayConnectionState() == HalvardineRelayConnectionState::connected && endpoint &&
        platform::isLoopbackHost(*endpoint)) {
        return HalvardineExtraAuthorizationChannel::relay;
    }
    return HalvardineExtraAuthorizationChannel::local;
}

HalvardineResponse RequestRoad::earlyFailureResponse(std::string description) const {
    HalvardineResponse response = environment_.replies.identityResponse(platform::Uuid::random().uuidString, false);
    response.error = std::move(description);
    return response;
}

void RequestRoad::send(const HalvardineResponse& response, const std::shared_ptr<ServerConnection>& connection) {
    std::string bytes;
    try {
        encodeRecord(response, bytes);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Response encoding/send failed: ") + error.what());
        connection->cancel();
        return;
    }
    bytes.push_back('\n');
    connection->sendFinal(std::move(bytes), ServerConnection::closeDelayAfterReply);
}

void RequestRoad::closeNetwork() {
    advertiser_.reset();
    if (!queue_) return;
    std::promise<void> closed;
    asio::post(queue_->executor(), [this, &closed] {
        if (listener_) listener_->closeSilently();
        connections_->closeAll();
        closed.set_value();
    });
    closed.get_future().wait();
    listener_.reset();
}

}  // namespace zentrabo
