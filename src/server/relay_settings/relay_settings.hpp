#pragma once
// The relay the server can be reached through from outside its network: the
// settings the user makes, this computer's device identifier and secret at
// the relay, and the connector that keeps the relay connection, with the
// state it reports.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "model/shared_enumerations.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_keychain.hpp"
#include "server/connection/listener_status.hpp"
#include "server/published.hpp"
#include "server/relay_settings/relay_connector_handle.hpp"

namespace zentrabo {

// Held by a shared_ptr: the connector's state handler holds it weakly, so a
// report that comes after it is gone does nothing.
class RelaySettings : public std::enable_shared_from_this<RelaySettings> {
public:
    // Loads the settings; a device identifier is made and stored when none
    // is. Every collaborator must outlive the settings.
    RelaySettings(platform::UserDefaults& defaults, HalvardineKeychain& keychain,
                  RelayConnectorFactory makeRelayConnector, const ListenerStatus& listener);
    RelaySettings(const RelaySettings&) = delete;
    RelaySettings& operator=(const RelaySettings&) = delete;

    const Published<bool>& relayEnabled() const { return relayEnabled_; }
    const Published<std::string>& relayHost() const { return relayHost_; }
    const Published<std::uint16_t>& relayClientPort() const { return relayClientPort_; }
    const Published<std::uint16_t>& relayControlPort() const { return relayControlPort_; }
    const Published<std::string>& relayDeviceID() const { return relayDeviceID_; }
    const Published<HalvardineRelayConnectionState>& relayConnectionState() const { return relayConnectionState_; }
    const Published<std::optional<std::string>>& relayStatusMessage() const { return relayStatusMessage_; }

    // The setters change only what they are given. A setting that cannot be
    // saved changes nothing and returns the settings file's error. A change
    // hands the connector its new configuration and shows the state that
    // leads to at once (connecting, or disabled), before the connector's own
    // report arrives.
    std::error_code setRelayEnabled(bool enabled);
    // std::errc::invalid_argument, and nothing changes, when a non-empty
    // host is rejected.
    std::error_code updateRelayHost(std::string_view host);
    std::error_code setRelayClientPort(std::uint16_t port);
    std::error_code setRelayControlPort(std::uint16_t port);
    // Hands the connector the configuration of the current settings and
    // listener port, or none when relay is off or unusable.
    void updateRelayConnection();
    std::string loadOrCreateRelaySecret();
    // The connector's state handler.
    void handleRelayStateChange(HalvardineRelayConnectionState state, std::optional<std::string> message);

private:
    bool loadRelayEnabled() const;
    std::string loadRelayHost() const;
    std::uint16_t loadRelayPort(std::string_view key, std::uint16_t fallback) const;
    std::string loadOrCreateRelayDeviceID();
    // Created on first use and kept for the settings' life.
    RelayConnectorHandle& relayConnector();
    // Creates the connector on first use; a connector that cannot be made
    // shows as a failed relay state and gives false.
    bool handToRelayConnector(std::optional<HalvardineRelayConfiguration> configuration);
    // What handing the connector the current configuration did.
    enum class HandOver { connecting, stopped, failed };
    HandOver handOverConfiguration();
    // The hand-over after a setting changed, with the state it leads to.
    void applyChangedSetting();
    void publishState(HalvardineRelayConnectionState state, std::optional<std::string> message);

    platform::UserDefaults& defaults_;
    HalvardineKeychain& keychain_;
    RelayConnectorFactory makeRelayConnector_;
    const ListenerStatus& listener_;

    Published<bool> relayEnabled_;
    Published<std::string> relayHost_;
    Published<std::uint16_t> relayClientPort_;
    Published<std::uint16_t> relayControlPort_;
    Published<std::string> relayDeviceID_;
    Published<HalvardineRelayConnectionState> relayConnectionState_{HalvardineRelayConnectionState::disabled};
    Published<std::optional<std::string>> relayStatusMessage_;

    std::unique_ptr<RelayConnectorHandle> relayConnector_;
};

}  // namespace zentrabo
