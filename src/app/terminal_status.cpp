// The status command: everything the status menu shows, as "key: value" lines.
#include <string>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/login_item.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/listener_status.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/files/receive_folder.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "server/halvardine_server.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/streams/screen_streams.hpp"

namespace zentrabo {
namespace {

std::string runningState(const ListenerStatus& listener) {
    if (*listener.isRunning()) return "yes";
    if (const auto& reason = *listener.notListeningReason()) return "no (" + echoed(*reason, serverTextLength) + ")";
    return "no";
}

std::string advertisedState(const ServiceAdvertisementState& advertisement) {
    switch (advertisement.phase) {
    case ServiceAdvertisementState::Phase::advertised:
        return "yes";
    case ServiceAdvertisementState::Phase::registering:
        return "not yet (registering)";
    case ServiceAdvertisementState::Phase::failed:
        return "no (" + echoed(advertisement.failure, serverTextLength) + ")";
    case ServiceAdvertisementState::Phase::off:
        break;
    }
    return "no";
}

std::string soundState(const platform::SoundAvailability& sound) {
    switch (sound.state) {
    case platform::SoundAvailability::State::available:
        return "available";
    case platform::SoundAvailability::State::unavailable:
        return sound.problem;
    case platform::SoundAvailability::State::checking:
        break;
    }
    return "checking";
}

std::string pairingState(const PairingWindow& pairing) {
    if (!*pairing.isPairingActive()) return "inactive";
    return "active, code " + *pairing.pairingCode() + ", " + std::to_string(*pairing.pairingRemainingSeconds()) +
           " seconds left";
}

}  // namespace

void runStatus(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("status", arguments)) return;
    const auto& extra = context.extraAuthorization;
    const auto line = [&context](std::string_view key, std::string_view value) {
        context.write(std::string(key) + ": " + std::string(value));
    };
    context.write("Server status:");
    const auto& listener = context.listener;
    line("running", runningState(listener));
    line("port", *listener.port() ? std::to_string(**listener.port()) : "none");
    line("service name", echoed(*listener.serviceName(), serverTextLength));
    line("advertised", advertisedState(*listener.advertisement()));
    line("fingerprint", listener.serverCertificateFingerprint()->value_or("none"));
    line("pairing", pairingState(context.pairing));
    line("paired devices", std::to_string(context.authorization.pairedDevices()->size()));
    const auto& relay = context.relay;
    line("relay", relaySettingsText(relay));
    line("relay state", platform::rawValue(*relay.relayConnectionState()));
    line("relay message", relay.relayStatusMessage()->has_value()
                              ? echoed(**relay.relayStatusMessage(), serverTextLength)
                              : std::string("none"));
    line("desktop", context.desktop);
    const bool accessibility = *context.permissions.hasAccessibilityAccess();
    line("accessibility", accessibility
                              ? std::string(grantedText(true))
                              : std::string(grantedText(false)) + " (" + std::string(accessibilityOffHint) + ")");
    line("screen recording", grantedText(*context.permissions.hasScreenRecordingAccess()));
    line("sound", soundState(context.server.streams().soundAvailability()));
    // The entry can change behind the server's back (its program deleted).
    context.permissions.refreshLoginItemStatus();
    line("login item",
         loginItemDescription(*context.permissions.loginItemStatus(), context.permissions.loginItemOtherProgram()));
    line("password configured", yesNo(*extra.passwordConfigured()));
    line("scopes local", scopeList(*extra.localScopes()));
    line("scopes relay", scopeList(*extra.relayScopes()));
    line("session duration", std::string(platform::rawValue(*extra.sessionDuration())) + " (" +
                                 std::string(summary(*extra.sessionDuration())) + ")");
    line("receive folder", *context.receiveFolder.fileReceiveFolderDisplayPath());
    const auto& streams = context.server.streams();
    line("screen streams", std::to_string(*streams.activeScreenStreamCount()));
    line("streaming devices", std::to_string(streams.streamingClientCertificateFingerprints()->size()));
    line("log file", diagnosticLogPath());
}

}  // namespace zentrabo
