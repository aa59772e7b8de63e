#include "server/halvardine_server.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"

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
      authorization_(environment_.clock, environment_.mainLoop, *environment_.userDefaults, streams_),
      extraAuthorization_({environment_.clock, environment_.mainLoop, environment_.keyDerivationWork,
                           *environment_.userDefaults, keychain_, authorization_.failures(), authorization_.auditLog(),
                           replies_}),
      replies_(listenerStatus_, extraAuthorization_.sessionDuration()),
      permissions_(environment_.clock, environment_.mainLoop, environment_.desktop, environment_.loginItem),
      receiveFolder_(environment_.clock, environment_.mainLoop, *environment_.userDefaults, environment_.desktop),
      relay_(std::make_shared<RelaySettings>(*environment_.userDefaults, keychain_, environment_.makeRelayConnector,
                                             listenerStatus_)),
      pairing_(environment_.clock, environment_.mainLoop, listenerStatus_, *relay_, authorization_, replies_),
      controller_(environment_.desktop) {
    queue_ = std::make_unique<platform::SerialQueue>("HalvardineServer");
    connections_ = std::make_shared<ServerConnections>(environment_.requestLimits);
    // The queue sizes each connection's limits by whether its certificate is paired.
    connections_->pairedFingerprints().update(*authorization_.pairedDevices());
    authorization_.pairedDevices().observe(
        [connections = connections_](const std::vector<AuthorizedClientDevice>& devices) {
            connections->pairedFingerprints().update(devices);
        });
    ZENTRABO_LOG("HalvardineServer init");
}

HalvardineServer::~HalvardineServer() {
    ZENTRABO_LOG("HalvardineServer deinit");
    // Sockets go before the queue whose context they belong to.
    closeNetwork();
}

}  // namespace zentrabo
