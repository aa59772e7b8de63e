#pragma once
// The road of one request, from the accepted socket to the reply and the
// close: one coroutine per connection, on the connection's strand.
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include "model/records/halvardine_request.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/main_loop_gate.hpp"
#include "platform/net/tls_context.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/dispatch_outcome.hpp"
#include "server/connection/pending_client_uses.hpp"
#include "server/connection/request_dispatcher.hpp"
#include "server/connection/request_limits.hpp"
#include "server/connection/server_connection.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/reply_builder.hpp"

namespace zentrabo {

// What the road is built on and hands requests to; every one must outlive
// the road.
struct RequestRoadEnvironment {
    platform::Clock& clock;
    asio::any_io_executor mainLoop;
    RequestLimits requestLimits;
    // Decides which connections are relayed.
    RelaySettings& relay;
    // Its paired devices size the connections' limits.
    ClientAuthorizer& authorization;
    const ReplyBuilder& replies;
    RequestDispatcher& dispatcher;
};

// Made and destroyed on the main loop; its connections run on the network
// threads, whose owner stops them, closes the connections (closeAll) and
// lets their executor go before the road goes.
class RequestRoad {
public:
    explicit RequestRoad(RequestRoadEnvironment environment);
    // Nothing more reaches the main loop from the road's connections.
    ~RequestRoad();
    RequestRoad(const RequestRoad&) = delete;
    RequestRoad& operator=(const RequestRoad&) = delete;

    // On the listener's strand: takes an accepted socket, whose executor is
    // a strand of its own, and serves it there.
    void take(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer,
              std::shared_ptr<platform::TlsContext> context);
    // At teardown, once the network threads have stopped: closes every
    // connection.
    void closeAll();

private:
    // What the main loop gets of a request: the decoded request, or the
    // reason why it could not be read, and the line's share of the budget
    // of all lines, which the decoded request takes over until the main
    // loop handles it.
    struct Arrival {
        std::variant<HalvardineRequest, std::string> request;
        RequestLineShare share;
    };
    // Who sent it, as the handshake and the accept fixed it.
    struct Peer {
        std::optional<std::string> certificateFingerprint;
        std::optional<asio::ip::tcp::endpoint> endpoint;
    };

    asio::awaitable<void> serve(std::shared_ptr<ServerConnection> connection);
    asio::awaitable<std::optional<RequestLine>> receive(ServerConnection& connection);
    std::variant<HalvardineRequest, std::string> decode(RequestLine line) const;
    // On the connection's strand: the outcome of a request that needs
    // nothing of the main loop but a later record of the client's use.
    std::optional<DispatchOutcome> answerOffMainLoop(Arrival& arrival, const Peer& peer);
    // On the main loop.
    void answer(Arrival& arrival, const Peer& peer, RequestDispatcher::OutcomeCompletion finish);
    void recordPendingUses();
    HalvardineExtraAuthorizationChannel connectionChannel(const std::optional<asio::ip::tcp::endpoint>& endpoint) const;
    asio::awaitable<void> sendFinal(ServerConnection& connection, const std::string& bytes, double closeDelay,
                                    bool peerHasHungUp);

    RequestRoadEnvironment environment_;
    std::shared_ptr<ServerConnections> connections_;
    std::shared_ptr<platform::MainLoopGate> mainLoopGate_;
    PendingClientUses pendingUses_;
    // The next visit for the pending uses; main loop only.
    platform::Timer usesVisit_;
};

}  // namespace zentrabo
