#pragma once
// The one server object: a composition of features, each an object of its
// own that owns its state, published status and settings. The server makes
// them, hands each its collaborators and starts listening; the user
// interface binds to the features it shows.
#include <memory>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>
#include <asio/ip/address.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/desktop/desktop.hpp"
#include "platform/desktop/login_item.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_keychain.hpp"
#include "security/halvardine_security.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/listener_status.hpp"
#include "server/connection/request_dispatcher.hpp"
#include "server/connection/request_limits.hpp"
#include "server/connection/listener_lifecycle.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/files/receive_folder.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/reply_builder.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/stream_media_start.hpp"
#include "server/streams/screen_streams.hpp"

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
    // Threads that handshake, read and write the connections: one per core
    // (at most eight) unless a test or a benchmark names a count.
    std::size_t networkThreadCount = ListenerLifecycle::defaultNetworkThreadCount();
    // What a stream session starts after its permission check: capture and
    // encoding. Transport tests put a double in its place.
    StreamMediaStart streamMediaStart = startCaptureMedia;
};

// Every member function runs on the main loop.
class HalvardineServer {
public:
    // Loads the settings, logs "HalvardineServer init" and starts listening.
    static std::shared_ptr<HalvardineServer> create(HalvardineServerEnvironment environment);
    ~HalvardineServer();
    HalvardineServer(const HalvardineServer&) = delete;
    HalvardineServer& operator=(const HalvardineServer&) = delete;

    // Starts the listener unless one exists, and the permission refresh.
    void start();
    // Stops the listener and starts a new one.
    void restart();
    // Answers every request exactly once, through the completion, on the
    // main loop, as it answers a request that a connection brought.
    void handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                const std::optional<std::string>& clientCertificateFingerprint,
                RequestDispatcher::OutcomeCompletion completion);

    // Whether and where the server listens.
    ListenerStatus& listener() { return listener_; }
    // The pairing window and the "pair" request.
    PairingWindow& pairing() { return pairing_; }
    // Paired devices, client authorization and activity, the audit log.
    ClientAuthorizer& authorization() { return authorization_; }
    // Accessibility, screen recording and the login item.
    PermissionMonitor& permissions() { return permissions_; }
    // The relay settings and the relay connector.
    RelaySettings& relay() { return *relay_; }
    // The receive folder and the file browser's listings.
    ReceiveFolder& receiveFolder() { return receiveFolder_; }
    // The extra-authorization password, its scopes and sessions, and the
    // gate of protected requests.
    ExtraAuthorization& extraAuthorization() { return extraAuthorization_; }
    // The stream server and which clients own a live screen stream.
    ScreenStreams& streams() { return streams_; }
    // The replies every request path shares.
    const ReplyBuilder& replies() const { return replies_; }

private:
    explicit HalvardineServer(HalvardineServerEnvironment environment);

    // In the order they are made: each is built on those before it, but for
    // the reply builder, which shows the session duration of the extra
    // authorization that replies with it.
    HalvardineServerEnvironment environment_;
    HalvardineKeychain keychain_;
    DesktopController controller_;
    ListenerStatus listener_;
    ScreenStreams streams_;
    PermissionMonitor permissions_;
    ReceiveFolder receiveFolder_;
    std::shared_ptr<RelaySettings> relay_;
    ClientAuthorizer authorization_;
    ExtraAuthorization extraAuthorization_;
    ReplyBuilder replies_;
    PairingWindow pairing_;
    RequestDispatcher dispatcher_;
    // Last: destroyed first, so its sockets close while every feature its
    // requests reach still exists.
    std::shared_ptr<ListenerLifecycle> network_;
};

}  // namespace zentrabo
