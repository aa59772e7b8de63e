#include "server/halvardine_server.hpp"

#include <utility>

#include "model/diagnostic_log.hpp"
#include "security/halvardine_relay.hpp"
#include "server/file_receive_folder.hpp"
#include "server/host_info.hpp"

namespace zentrabo {

std::shared_ptr<HalvardineServer> HalvardineServer::create(HalvardineServerEnvironment environment) {
    // Not make_shared: the constructor is private.
    return std::shared_ptr<HalvardineServer>(new HalvardineServer(std::move(environment)));
}

HalvardineServer::HalvardineServer(HalvardineServerEnvironment environment)
    : environment_(std::move(environment)) {
    // Published status first, then the private state, in declaration order;
    // a missing or unreadable setting leaves the initial value.
    serviceName_.set(macName() + " Zentrabo");
    relayEnabled_.set(loadRelayEnabled());
    relayHost_.set(loadRelayHost());
    relayClientPort_.set(loadRelayPort("relayClientPort", HalvardineRelay::defaultClientPort));
    relayControlPort_.set(loadRelayPort("relayControlPort", HalvardineRelay::defaultControlPort));
    relayDeviceID_.set(loadOrCreateRelayDeviceID());
    extraAuthorizationSessionDuration_.set(loadExtraAuthorizationSessionDuration());
    fileReceiveFolderDisplayPath_.set(zentrabo::fileReceiveFolderDisplayPath(fileReceiveFolderURL()));
    ZENTRABO_LOG("HalvardineServer init");
}

HalvardineServer::~HalvardineServer() {
    ZENTRABO_LOG("HalvardineServer deinit");
}

HalvardineExtraAuthorizationSessionDuration
HalvardineServer::loadExtraAuthorizationSessionDuration() const {
    auto duration = HalvardineExtraAuthorizationSessionDuration::background;
    if (const auto stored = environment_.userDefaults->string("extraAuthorizationSessionDuration")) {
        fromRawValue(*stored, duration);
    }
    return duration;
}

}  // namespace zentrabo
