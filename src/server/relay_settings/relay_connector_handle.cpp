#include "server/relay_settings/relay_connector_handle.hpp"

#include <utility>

#include "relay/halvardine_relay_connector.hpp"

namespace zentrabo {
namespace {

class RealRelayConnector final : public RelayConnectorHandle {
public:
    RealRelayConnector(asio::any_io_executor mainLoop, platform::Clock& clock, HalvardineSecurity& security,
                       StateHandler handler)
        : connector_(std::move(mainLoop), clock, security, std::move(handler)) {}

    void configure(std::optional<HalvardineRelayConfiguration> configuration) override {
        connector_.configure(std::move(configuration));
    }

private:
    HalvardineRelayConnector connector_;
};

}  // namespace

RelayConnectorFactory makeRelayConnectorFactory(asio::any_io_executor mainLoop, platform::Clock& clock,
                                                HalvardineSecurity& security) {
    return [mainLoop = std::move(mainLoop), &clock, &security](RelayConnectorHandle::StateHandler handler) {
        return std::make_unique<RealRelayConnector>(mainLoop, clock, security, std::move(handler));
    };
}

}  // namespace zentrabo
