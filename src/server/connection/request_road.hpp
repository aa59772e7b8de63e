#pragma once
// The server's network front: the listener and its advertisement, and the
// road of one request from its connection to its reply.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/net/dnssd_advertiser.hpp"
#include "security/halvardine_security.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/listener_status.hpp"
#include "server/connection/request_dispatcher.hpp"
#include "server/connection/request_limits.hpp"
#include "server/connection/server_connection.hpp"
#include "server/connection/server_listener.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/reply_builder.hpp"

namespace zentrabo {

// What the road is built on, and the features it reports to and hands
// requests to; every one must outlive the road.
struct RequestRoadEnvironment {
    platform::Clock& clock;
    asio::any_io_executor mainLoop;
    // The server's TLS identity.
    HalvardineSecurity& security;
    // Every interface when none.
    std::optional<asio::ip::address> listenAddress;
    bool advertisesService;
    RequestLimits requestLimits;

    // Written whenever the listener reports.
    ListenerStatus& listener;
    // Told the listener's port; decides which connections are relayed.
    RelaySettings& relay;
    // Closed when the listener stops.
    PairingWindow& pairing;
    // Its paired devices size the connections' limits.
    ClientAuthorizer& authorization;
    ExtraAuthorization& extraAuthorization;
    const ReplyBuilder& replies;
    RequestDispatcher& dispatcher;
};

// Held by a shared_ptr: the hops from the server queue to the main loop hold
// it weakly, so none runs into a road that is gone.
class RequestRoad : public std::enable_shared_from_this<RequestRoad> {
public:
    explicit RequestRoad(RequestRoadEnvironment environment);
    // Closes the listener and every connection.
    ~RequestRoad();
    RequestRoad(const RequestRoad&) = delete;
    RequestRoad& operator=(const RequestRoad&) = delete;

    // Starts the listener unless one exists.
    void start();
    // Stops the listener and starts a new one.
    void restart();

private:
    // The listener's reports, on the main loop; those of a listener that is
    // no longer the current one are ignored.
    void handleListenerState(ServerListener::State state, std::optional<std::uint16_t> port,
                             const std::shared_ptr<ServerListener>& listener);
    void handleListenerStopped();
    void advertise(std::uint16_t port);
    // Takes each accepted connection in, on the server queue, and hands its
    // request to the main loop.
    std::function<void(asio::ip::tcp::socket)> connectionHandler();
    void processRequest(RequestLine line, const std::shared_ptr<ServerConnection>& connection);
    HalvardineExtraAuthorizationChannel connectionChannel(const ServerConnection& connection) const;
    // The reply to a request that could not be read or decoded.
    HalvardineResponse earlyFailureResponse(std::string description) const;
    void send(const HalvardineResponse& response, const std::shared_ptr<ServerConnection>& connection);
    // The "screenStream" request (screen_stream_request.cpp): refused with
    // an error frame, or with a reply line when extra authorization is missing.
    void handleScreenStreamRequest(const HalvardineRequest& request,
                                   const std::optional<std::string>& clientCertificateFingerprint,
                                   HalvardineExtraAuthorizationChannel channel,
                                   const std::shared_ptr<ServerConnection>& connection);
    // As send, but a reply that cannot be encoded becomes an error frame.
    void sendScreenStreamResponse(const HalvardineResponse& response,
                                  const std::shared_ptr<ServerConnection>& connection);
    // Closes the listener and every connection on the queue, and waits.
    void closeNetwork();

    RequestRoadEnvironment environment_;
    // The listener and every connection live on this queue; the main loop
    // never touches their sockets.
    std::unique_ptr<platform::SerialQueue> queue_;
    std::shared_ptr<ServerConnections> connections_;
    std::shared_ptr<ServerListener> listener_;
    std::shared_ptr<platform::TlsContext> tlsContext_;
    std::unique_ptr<platform::DnsServiceAdvertiser> advertiser_;
};

}  // namespace zentrabo
