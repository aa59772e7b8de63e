// The relay settings: on and off, host and the two ports.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "server/relay_settings/relay_settings.hpp"

namespace zentrabo {
namespace {

// A decimal port from 1 to 65535 and nothing else on the line.
std::optional<std::uint16_t> parsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// The state the connector reports, with its message; the next line of every
// relay command, since a change may leave the relay unusable.
void writeRelayState(TerminalContext& context) {
    const auto& relay = context.relay;
    std::string line = "Relay state: " + std::string(platform::rawValue(*relay.relayConnectionState()));
    if (const auto& message = *relay.relayStatusMessage()) line += " (" + echoed(*message, serverTextLength) + ")";
    context.write(line);
}

void setPort(TerminalContext& context, std::string_view command, std::string_view arguments, bool client) {
    const auto [word, rest] = splitFirstWord(arguments);
    const auto port = parsePort(word);
    if (!port || !rest.empty()) {
        return context.reportMalformed(command, "\"" + echoed(arguments) + "\" is not a port from 1 to 65535");
    }
    auto& relay = context.relay;
    const std::error_code error = client ? relay.setRelayClientPort(*port) : relay.setRelayControlPort(*port);
    if (error) return context.write(notSavedText(error));
    if (client) {
        context.write("Relay client port: " + std::to_string(*relay.relayClientPort()));
    } else {
        context.write("Relay control port: " + std::to_string(*relay.relayControlPort()));
    }
    writeRelayState(context);
}

}  // namespace

std::string relaySettingsText(const RelaySettings& relay) {
    std::string text = *relay.relayEnabled() ? "on" : "off";
    text += ", host " + (relay.relayHost()->empty() ? std::string("(none)") : echoed(*relay.relayHost()));
    text += ", client port " + std::to_string(*relay.relayClientPort());
    text += ", control port " + std::to_string(*relay.relayControlPort());
    return text;
}

void runRelay(TerminalContext& context, std::string_view arguments) {
    auto& relay = context.relay;
    const auto [setting, value] = splitFirstWord(arguments);
    if ((setting == "on" || setting == "off") && value.empty()) {
        if (const std::error_code error = relay.setRelayEnabled(setting == "on")) {
            return context.write(notSavedText(error));
        }
        context.write("Relay: " + relaySettingsText(relay));
        writeRelayState(context);
    } else if (setting == "host") {
        if (value.empty()) return context.reportMalformed("relay host", "give the relay's host name or address");
        const std::error_code error = relay.updateRelayHost(value);
        if (error == std::errc::invalid_argument) {
            context.write("Relay host refused: \"" + echoed(value) + "\" is not a usable host.");
            return;
        }
        if (error) return context.write(notSavedText(error));
        context.write("Relay host: " + echoed(*relay.relayHost()));
        writeRelayState(context);
    } else if (setting == "client-port") {
        setPort(context, "relay client-port", value, true);
    } else if (setting == "control-port") {
        setPort(context, "relay control-port", value, false);
    } else {
        context.reportMalformed("relay", "expected on, off, host, client-port or control-port");
    }
}

}  // namespace zentrabo
