#pragma once

#include <asio/any_io_executor.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "relay/relay_configuration.hpp"

namespace zentrabo {

class HalvardineSecurity;

namespace platform {
class SerialQueue;
}

struct HalvardineRelayConnectorOptions {
    // PEM certificates that the relay's chain must lead to instead of the
    // system's CA store: a private relay with its own authority, and tests.
    std::optional<std::string> trustedCertificatesPEM;
};

// Keeps this Mac registered with a relay server and pipes the clients that
// the relay tunnels to it to the local listener.
//
// All work runs on the connector's own serial queue "zb-relay";
// every state report reaches the handler on the main loop. Create, configure
// and destroy it on the main loop; after destruction no report arrives.
class HalvardineRelayConnector {
public:
    using StateHandler = std::function<void(HalvardineRelayConnectionState, const std::optional<std::string>& message)>;

    // Starts stopped, with no configuration. The clock and the security
    // object must outlive the connector; on its queue the connector uses the
    // security object only to sign its registrations with the relay control
    // key (which keeps no state between calls). Throws asio::system_error
    // when the TLS settings or the given certificates are refused.
    HalvardineRelayConnector(asio::any_io_executor mainExecutor, platform::Clock& clock, HalvardineSecurity& security,
                             StateHandler stateHandler, HalvardineRelayConnectorOptions options = {});
    ~HalvardineRelayConnector();
    HalvardineRelayConnector(const HalvardineRelayConnector&) = delete;
    HalvardineRelayConnector& operator=(const HalvardineRelayConnector&) = delete;

    // Asynchronously on the queue: stores the configuration and drops any
    // pending reconnect, every tunnel and the control connection. None, or a
    // configuration that is not enabled, reports "disabled" with no message
    // and stays stopped; otherwise it connects, reporting "connecting", then
    // "connected" or "failed" with a message, and after a failure tries again
    // after a growing delay, reporting "connecting" again.
    void configure(std::optional<HalvardineRelayConfiguration> configuration);

private:
    class Core;

    std::shared_ptr<StateHandler> stateHandler_;  // reports hold it weakly
    std::unique_ptr<platform::SerialQueue> queue_;
    std::shared_ptr<Core> core_;
};

}  // namespace zentrabo
