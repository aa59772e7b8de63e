#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>

#include "maccontrol/mac_menu_controller.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/date.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/desktop/desktop.hpp"
#include "platform/desktop/login_item.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/net/dnssd_advertiser.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_keychain.hpp"
#include "security/halvardine_security.hpp"
#include "server/authorization/authorized_client_device.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/listener_status.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/reply_builder.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "server/published.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/files/receive_folder.hpp"
#include "server/authorization/security_audit_event.hpp"
#include "server/authorization/security_failure_limiter.hpp"
#include "server/request_limits.hpp"
#include "server/server_connection.hpp"
#include "server/server_listener.hpp"

namespace zentrabo {

// What the server is built on. The application passes the real services;
// tests pass a manual clock and a relay recorder, and set a temporary HOME
// for the stores.
struct HalvardineServerEnvironment {
    platform::Clock& clock;
    // What the Mac controller acts on; it must outlive the server.
    platform::Desktop& desktop;
    // The application's own login item ("Open at Login").
    std::shared_ptr<platform::LoginItem> loginItem;
    // The main loop: owns every field of the server and every published write.
    asio::any_io_executor mainLoop;
    std::shared_ptr<platform::UserDefaults> userDefaults;
    // The server's TLS identity; must outlive the server.
    HalvardineSecurity& security;
    RelayConnectorFactory makeRelayConnector;
    // Where the listener listens: every interface when none (the
    // application), the loopback address in tests.
    std::optional<asio::ip::address> listenAddress;
    // Whether the listener is announced by DNS-SD.
    bool advertisesService = true;
    // Where password checks derive their keys: the process's key-derivation
    // pool unless a test names another executor.
    asio::any_io_executor keyDerivationWork = extraAuthorizationKeyDerivationPool().executor();
    // What one request may cost: line lengths, the bytes of all lines read
    // at once, the values of one request.
    RequestLimits requestLimits = {};
};

// The one server object: it owns the published status the user interface
// shows, the settings, the Mac controller and the relay connector. Every
// member function runs on the main loop unless it says otherwise.
class HalvardineServer : public std::enable_shared_from_this<HalvardineServer> {
public:
    // Loads the settings, logs "HalvardineServer init" and starts listening.
    static std::shared_ptr<HalvardineServer> create(HalvardineServerEnvironment environment);
    ~HalvardineServer();
    HalvardineServer(const HalvardineServer&) = delete;
    HalvardineServer& operator=(const HalvardineServer&) = delete;

    // Whether and where the server listens.
    ListenerStatus& listener() { return listenerStatus_; }
    const ListenerStatus& listener() const { return listenerStatus_; }
    // The relay settings and the relay connector.
    RelaySettings& relay() { return *relay_; }
    // The extra-authorization password, its scopes and sessions, and the
    // gate of protected requests.
    ExtraAuthorization& extraAuthorization() { return extraAuthorization_; }

    // The receive folder and the file browser's listings.
    ReceiveFolder& receiveFolder() { return receiveFolder_; }

    // The replies every request path shares.
    const ReplyBuilder& replies() const { return replies_; }

    // Accessibility, screen recording and the login item.
    PermissionMonitor& permissions() { return permissions_; }

    MacMenuController& controller() { return controller_; }

    // The pairing window and the "pair" request.
    PairingWindow& pairing() { return pairing_; }

    // Paired devices, client authorization and activity, the audit log.
    ClientAuthorizer& authorization() { return authorization_; }
    // Which clients own a live screen stream.
    ScreenStreams& streams() { return streams_; }

    // The listener and the road of one request (request_road.cpp).
    // Starts the listener unless one exists.
    void start();
    // Stops the listener and starts a new one.
    void restart();
    using ResponseCompletion = std::function<void(HalvardineResponse)>;
    // The dispatcher (dispatch.cpp): answers every request exactly once,
    // through the completion, on the main loop.
    void handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                const std::optional<std::string>& clientCertificateFingerprint, ResponseCompletion completion);

private:
    explicit HalvardineServer(HalvardineServerEnvironment environment);

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

    HalvardineServerEnvironment environment_;
    ListenerStatus listenerStatus_;
    ScreenStreams streams_;
    ClientAuthorizer authorization_;
    HalvardineKeychain keychain_;
    ExtraAuthorization extraAuthorization_;
    ReplyBuilder replies_;
    PermissionMonitor permissions_;
    ReceiveFolder receiveFolder_;
    std::shared_ptr<RelaySettings> relay_;
    PairingWindow pairing_;
    MacMenuController controller_;

    // The listener and every connection live on this queue; the main loop
    // never touches their sockets.
    std::unique_ptr<platform::SerialQueue> queue_;
    std::shared_ptr<ServerConnections> connections_;
    std::shared_ptr<ServerListener> listener_;
    std::shared_ptr<platform::TlsContext> tlsContext_;
    std::unique_ptr<platform::DnsServiceAdvertiser> advertiser_;
};

}  // namespace zentrabo
