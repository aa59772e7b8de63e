#include "server/halvardine_server.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"

namespace zentrabo {

std::shared_ptr<HalvardineServer> HalvardineServer::create(HalvardineServerEnvironment environment) {
    // Not make_shared: the constructor is private.
    std::shared_ptr<HalvardineServer> server(new HalvardineServer(std::move(environment)));
    server->start();
    return server;
}

HalvardineServer::HalvardineServer(HalvardineServerEnvironment environment)
    : environment_(std::move(environment)),
      controller_(environment_.desktop),
      // Marks activity on the authorizer made after it; used only by reports,
      // which come later.
      streams_(
          {environment_.clock, environment_.mainLoop, environment_.desktop, environment_.streamMediaStart,
           [this](const std::string& fingerprint) { authorization_.markClientActivity(fingerprint, std::nullopt); }}),
      permissions_(environment_.clock, environment_.mainLoop, environment_.desktop, environment_.loginItem),
      receiveFolder_(environment_.clock, environment_.mainLoop, *environment_.userDefaults, environment_.desktop),
      relay_(std::make_shared<RelaySettings>(*environment_.userDefaults, keychain_, environment_.makeRelayConnector,
                                             listener_)),
      authorization_(environment_.clock, environment_.mainLoop, *environment_.userDefaults, streams_),
      // The reply builder is bound here before it is made; the extra
      // authorization uses it only for requests, which come after.
      extraAuthorization_({environment_.clock, environment_.mainLoop, environment_.keyDerivationWork,
                           *environment_.userDefaults, keychain_, authorization_.failures(), authorization_.auditLog(),
                           replies_}),
      replies_(listener_, extraAuthorization_.sessionDuration()),
      pairing_(environment_.clock, environment_.mainLoop, listener_, *relay_, authorization_, replies_),
      dispatcher_(RequestDispatcherFeatures{permissions_, authorization_, extraAuthorization_, pairing_, receiveFolder_,
                                            controller_, replies_, streams_}),
      network_(std::make_shared<ListenerLifecycle>(
          ListenerLifecycleEnvironment{environment_.clock, environment_.mainLoop, environment_.security,
                                       environment_.listenAddress, environment_.advertisesService, listener_, *relay_,
                                       pairing_, environment_.networkThreadCount},
          RequestRoadEnvironment{environment_.clock, environment_.mainLoop, environment_.requestLimits, *relay_,
                                 authorization_, replies_, dispatcher_})) {
    ZENTRABO_LOG("HalvardineServer init");
}

HalvardineServer::~HalvardineServer() {
    ZENTRABO_LOG("HalvardineServer deinit");
    // While the network queue still runs: the sessions cancel their
    // connections on its strands.
    streams_.stopStreamServer();
}

void HalvardineServer::start() {
    permissions_.startAccessibilityRefreshTask();
    network_->start();
}

void HalvardineServer::restart() { network_->restart(); }

void HalvardineServer::handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                              const std::optional<std::string>& clientCertificateFingerprint,
                              RequestDispatcher::OutcomeCompletion completion) {
    dispatcher_.dispatch(request, channel, clientCertificateFingerprint, std::move(completion));
}

}  // namespace zentrabo
