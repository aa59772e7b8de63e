// The relay settings of the server: loading and saving them, handing the
// relay connector its configuration, and publishing the state it reports.
#include "server/relay_settings/relay_settings.hpp"

#include <cstdint>
#include <limits>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "platform/crypto/digest.hpp"
#include "platform/random/random_bytes.hpp"
#include "platform/text/base64.hpp"
#include "platform/text/trim.hpp"
#include "security/halvardine_relay.hpp"
#include "security/halvardine_security.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view relayEnabledKey = "relayEnabled";
constexpr std::string_view relayHostKey = "relayHost";
constexpr std::string_view relayClientPortKey = "relayClientPort";
constexpr std::string_view relayControlPortKey = "relayControlPort";
constexpr std::string_view relayDeviceIDKey = "relayDeviceID";
constexpr std::string_view legacyRelaySecretKey = "relaySecret";
constexpr std::string_view relaySecretAccount = "relaySecret";

constexpr std::size_t relayDeviceIDByteCount = 16;
constexpr std::size_t relaySecretByteCount = 32;

std::string relaySecretService() { return std::string(identifierPrefix) + ".relay"; }

}  // namespace

RelaySettings::RelaySettings(platform::UserDefaults& defaults, HalvardineKeychain& keychain,
                             RelayConnectorFactory makeRelayConnector, const ListenerStatus& listener)
    : defaults_(defaults),
      keychain_(keychain),
      makeRelayConnector_(std::move(makeRelayConnector)),
      listener_(listener),
      relayEnabled_(loadRelayEnabled()),
      relayHost_(loadRelayHost()),
      relayClientPort_(loadRelayPort(relayClientPortKey, HalvardineRelay::defaultClientPort)),
      relayControlPort_(loadRelayPort(relayControlPortKey, HalvardineRelay::defaultControlPort)),
      relayDeviceID_(loadOrCreateRelayDeviceID()) {}

bool RelaySettings::loadRelayEnabled() const { return defaults_.boolean(relayEnabledKey).value_or(false); }

std::string RelaySettings::loadRelayHost() const {
    return HalvardineRelay::normalizedHost(defaults_.string(relayHostKey)).value_or(std::string());
}

std::uint16_t RelaySettings::loadRelayPort(std::string_view key, std::uint16_t fallback) const {
    const std::int64_t stored = defaults_.integer(key).value_or(0);
    if (stored < 1 || stored > std::numeric_limits<std::uint16_t>::max()) return fallback;
    return static_cast<std::uint16_t>(stored);
}

std::error_code RelaySettings::setRelayEnabled(bool enabled) {
    if (enabled == *relayEnabled_) return {};
    if (const std::error_code error = defaults_.set(relayEnabledKey, enabled)) return error;
    relayEnabled_.set(enabled);
    applyChangedSetting();
    return {};
}

std::error_code RelaySettings::updateRelayHost(std::string_view host) {
    const std::string trimmed = platform::trimWhitespaceAndNewlines(host);
    if (trimmed.empty()) {
        if (relayHost_->empty()) return {};
        if (const std::error_code error = defaults_.remove(relayHostKey)) return error;
        relayHost_.set(std::string());
        applyChangedSetting();
        return {};
    }
    auto normalized = HalvardineRelay::normalizedHost(trimmed);
    if (!normalized) return std::make_error_code(std::errc::invalid_argument);
    if (*normalized == *relayHost_) return {};
    if (const std::error_code error = defaults_.set(relayHostKey, *normalized)) return error;
    relayHost_.set(*normalized);
    applyChangedSetting();
    return {};
}

std::error_code RelaySettings::setRelayClientPort(std::uint16_t port) {
    if (port == *relayClientPort_) return {};
    if (const std::error_code error = defaults_.set(relayClientPortKey, std::int64_t{port})) return error;
    relayClientPort_.set(port);
    applyChangedSetting();
    return {};
}

std::error_code RelaySettings::setRelayControlPort(std::uint16_t port) {
    if (port == *relayControlPort_) return {};
    if (const std::error_code error = defaults_.set(relayControlPortKey, std::int64_t{port})) return error;
    relayControlPort_.set(port);
    applyChangedSetting();
    return {};
}

void RelaySettings::applyChangedSetting() {
    using State = HalvardineRelayConnectionState;
    // The connector takes the new configuration on its own queue and reports
    // later. A changed setting starts it afresh, so its first report is
    // known now: shown at once, whoever changed the setting sees where the
    // relay stands instead of the state before the change. A failure that
    // the hand-over itself showed stays.
    switch (handOverConfiguration()) {
    case HandOver::connecting:
        publishState(State::connecting, std::nullopt);
        break;
    case HandOver::stopped:
        publishState(State::disabled, std::nullopt);
        break;
    case HandOver::failed:
        break;
    }
}

void RelaySettings::updateRelayConnection() { (void)handOverConfiguration(); }

RelaySettings::HandOver RelaySettings::handOverConfiguration() {
    if (!*relayEnabled_) return handToRelayConnector(std::nullopt) ? HandOver::stopped : HandOver::failed;
    const auto host = HalvardineRelay::normalizedHost(*relayHost_);
    const auto deviceID = HalvardineRelay::normalizedDeviceID(*relayDeviceID_);
    if (!host || !deviceID) {
        // Shown until the connector's "disabled" report replaces it.
        relayConnectionState_.set(HalvardineRelayConnectionState::failed);
        relayStatusMessage_.set("Relay host or device ID is invalid.");
        handToRelayConnector(std::nullopt);
        return HandOver::failed;
    }
    HalvardineRelayConfiguration configuration;
    configuration.isEnabled = true;
    configuration.host = *host;
    configuration.controlPort = *relayControlPort_;
    configuration.clientPort = *relayClientPort_;
    configuration.deviceID = *deviceID;
    configuration.secret = loadOrCreateRelaySecret();
    configuration.localServerPort = *listener_.port();
    return handToRelayConnector(std::move(configuration)) ? HandOver::connecting : HandOver::failed;
}

bool RelaySettings::handToRelayConnector(std::optional<HalvardineRelayConfiguration> configuration) {
    try {
        relayConnector().configure(std::move(configuration));
        return true;
    } catch (const std::exception& error) {
        // The connector could not be made; the next update tries again.
        ZENTRABO_LOG(std::string("Relay connector unavailable: ") + error.what());
        relayConnectionState_.set(HalvardineRelayConnectionState::failed);
        relayStatusMessage_.set(std::string(error.what()));
        return false;
    }
}

RelayConnectorHandle& RelaySettings::relayConnector() {
    if (!relayConnector_) {
        std::weak_ptr<RelaySettings> weakSelf = weak_from_this();
        relayConnector_ = makeRelayConnector_(
            [weakSelf](HalvardineRelayConnectionState state, const std::optional<std::string>& message) {
                if (auto self = weakSelf.lock()) self->handleRelayStateChange(state, message);
            });
    }
    return *relayConnector_;
}

std::string RelaySettings::loadOrCreateRelayDeviceID() {
    if (auto stored = HalvardineRelay::normalizedDeviceID(defaults_.string(relayDeviceIDKey))) {
        return *stored;
    }
    platform::Bytes bytes(relayDeviceIDByteCount);
    platform::fillRandomNeverFailing(bytes);
    std::string created = platform::hexLower(bytes);
    defaults_.set(relayDeviceIDKey, created);
    return created;
}

std::string RelaySettings::loadOrCreateRelaySecret() {
    const std::string service = relaySecretService();
    if (const auto stored = keychain_.readString(relaySecretAccount, service)) {
        std::string secret = platform::trimWhitespaceAndNewlines(*stored);
        if (!secret.empty()) {
            if (defaults_.value(legacyRelaySecretKey)) defaults_.remove(legacyRelaySecretKey);
            return secret;
        }
    }
    if (const auto legacy = defaults_.string(legacyRelaySecretKey)) {
        std::string secret = platform::trimWhitespaceAndNewlines(*legacy);
        if (!secret.empty()) {
            try {
                keychain_.saveString(secret, relaySecretAccount, service);
                defaults_.remove(legacyRelaySecretKey);
            } catch (const std::exception& error) {
                ZENTRABO_LOG(std::string("Relay secret Keychain migration failed: ") + error.what());
            }
            return secret;
        }
    }
    platform::Bytes bytes(relaySecretByteCount);
    platform::fillRandomNeverFailing(bytes);
    std::string secret = platform::base64Encode(bytes);
    try {
        keychain_.saveString(secret, relaySecretAccount, service);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Relay secret Keychain save failed: ") + error.what());
        defaults_.set(legacyRelaySecretKey, secret);
    }
    return secret;
}

void RelaySettings::handleRelayStateChange(HalvardineRelayConnectionState state, std::optional<std::string> message) {
    using State = HalvardineRelayConnectionState;
    const State published = *relayConnectionState_;
    // A failure stays on display, with its message, while the connector retries.
    if (state == State::connecting && (published == State::failed || published == State::connecting)) {
        return;
    }
    publishState(state, std::move(message));
}

void RelaySettings::publishState(HalvardineRelayConnectionState state, std::optional<std::string> message) {
    if (state == *relayConnectionState_ && message == *relayStatusMessage_) return;
    relayConnectionState_.set(state);
    relayStatusMessage_.set(std::move(message));
}

}  // namespace zentrabo
