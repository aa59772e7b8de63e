#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>

#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "relay/relay_configuration.hpp"

namespace zentrabo {

class HalvardineSecurity;

// The part of the relay connector that the relay settings drive. The application
// plugs in the real connector; tests plug in a recorder.
class RelayConnectorHandle {
public:
    // The connector reports its state through it, always on the main loop.
    using StateHandler = std::function<void(HalvardineRelayConnectionState, const std::optional<std::string>& message)>;

    virtual ~RelayConnectorHandle() = default;
    virtual void configure(std::optional<HalvardineRelayConfiguration> configuration) = 0;
};

// Makes the connector when the relay settings first need it, with the
// handler that its state reports must reach on the main loop.
using RelayConnectorFactory = std::function<std::unique_ptr<RelayConnectorHandle>(RelayConnectorHandle::StateHandler)>;

// The real connector, reporting on mainLoop. The clock and the security
// object must outlive every connector it makes. A connector that cannot be
// made (its TLS settings refused) throws from the factory.
RelayConnectorFactory makeRelayConnectorFactory(asio::any_io_executor mainLoop, platform::Clock& clock,
                                                HalvardineSecurity& security);

}  // namespace zentrabo
