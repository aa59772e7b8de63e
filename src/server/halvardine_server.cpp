#include "server/halvardine_server.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"
#include "security/halvardine_relay.hpp"
#include "server/mac_name.hpp"
#include "server/paired_device_store.hpp"

namespace zentrabo {

std::shared_ptr<HalvardineServer> HalvardineServer::create(HalvardineServerEnvironment environment) {
    // Not make_shared: the constructor is private.
    std::shared_ptr<HalvardineServer> server(new HalvardineServer(std::move(environment)));
    // Listening starts once the server can hand out weak references to itself.
    server->start();
    return server;
}

HalvardineServer::HalvardineServer(HalvardineServerEnvironment environment)
    : environment_(std::move(environment)),
      permissions_(environment_.clock, environment_.mainLoop, environment_.desktop, environment_.loginItem),
      receiveFolder_(environment_.clock, environment_.mainLoop, *environment_.userDefaults, environment_.desktop),
      clientActivity_(environment_.clock, environment_.mainLoop, [this] { publishClientActivity(); }),
      controller_(environment_.desktop) {
    // Published status first, then the private state, in declaration order;
    // a missing or unreadable setting leaves the initial value.
    serviceName_.set(macName() + " Zentrabo");
    relayEnabled_.set(loadRelayEnabled());
    relayHost_.set(loadRelayHost());
    relayClientPort_.set(loadRelayPort("relayClientPort", HalvardineRelay::defaultClientPort));
    relayControlPort_.set(loadRelayPort("relayControlPort", HalvardineRelay::defaultControlPort));
    pairedDevices_.set(loadAuthorizedClientDevices(*environment_.userDefaults, environment_.clock.now()));
    relayDeviceID_.set(loadOrCreateRelayDeviceID());
    extraAuthorization_ = std::make_unique<ExtraAuthorization>(ExtraAuthorizationEnvironment{
        environment_.clock, environment_.mainLoop, environment_.keyDerivationWork, *environment_.userDefaults,
        keychain_, securityFailures_,
        [this](std::string message, std::optional<std::string> action, std::optional<std::string_view> fingerprint) {
            recordSecurityEvent(std::move(message), std::move(action), fingerprint);
        },
        [this](std::string id, bool ok) { return identityResponse(std::move(id), ok); }});
    queue_ = std::make_unique<platform::SerialQueue>("HalvardineServer");
    connections_ = std::make_shared<ServerConnections>(environment_.requestLimits);
    // The queue sizes each connection's limits by whether its certificate is paired.
    connections_->pairedFingerprints().update(*pairedDevices_);
    // A window that a crash left open leaves no image behind.
    removePairingQRImage();
    pairedDevices_.observe([connections = connections_](const std::vector<AuthorizedClientDevice>& devices) {
        connections->pairedFingerprints().update(devices);
    });
    ZENTRABO_LOG("HalvardineServer init");
}

HalvardineServer::~HalvardineServer() {
    ZENTRABO_LOG("HalvardineServer deinit");
    removePairingQRImage();
    // Sockets go before the queue whose context they belong to.
    closeNetwork();
}

void HalvardineServer::setListenerStatus(bool isRunning, std::optional<std::uint16_t> port) {
    isRunning_.set(isRunning);
    port_.set(port);
}

}  // namespace zentrabo
