// Pairing and the paired devices: pair, cancel, devices, revoke, and the
// security audit log.
#include <charconv>
#include <optional>
#include <string>
#include <variant>

#include "app/terminal_context.hpp"
#include "app/terminal_qr.hpp"
#include "app/terminal_text.hpp"
#include "platform/imaging/qr_code.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/pairing/pairing_window.hpp"

namespace zentrabo {
namespace {

// Why no pairing window opened, in words that say what to do.
std::string refusalText(const PairingRefused& refusal) {
    switch (refusal.reason) {
    case PairingRefused::Reason::serverNotRunning:
        return "Pairing not started: the server is not listening. Try \"restart\".";
    case PairingRefused::Reason::locked:
        return refusal.message + ".";
    case PairingRefused::Reason::codeUnavailable:
        break;
    }
    return "Pairing not started; the diagnostic log says why.";
}

void writeQrCode(TerminalContext& context, const std::optional<platform::QrCode>& code) {
    if (!code) {
        context.write("Pairing QR code: the link does not fit in a QR code.");
        return;
    }
    for (const auto& line : drawQrCode(*code)) context.write(line);
}

// A listing: whenEmpty alone when there is nothing to list, else the heading
// and one line an item.
template <class Items, class LineOf>
void writeListing(TerminalContext& context, const Items& items, std::string_view whenEmpty, const std::string& heading,
                  LineOf lineOf) {
    if (items.empty()) return context.write(whenEmpty);
    context.write(heading);
    for (const auto& item : items) context.write(lineOf(item));
}

}  // namespace

void runPair(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("pair", arguments)) return;
    const PairingStart start = context.pairing.startPairingSession();
    if (const auto* refusal = std::get_if<PairingRefused>(&start)) {
        context.write(refusalText(*refusal));
        return;
    }
    const auto& started = std::get<PairingStarted>(start);
    context.write("Pairing started; it closes in " + std::to_string(*context.pairing.pairingRemainingSeconds()) +
                  " seconds (\"cancel\" closes it now).");
    context.write("Pairing code: " + started.code);
    context.write("Pairing link: " + started.link);
    writeQrCode(context, started.qrCode);
    context.write(started.qrImagePath ? "Pairing QR image: " + started.qrImagePath->string()
                                      : "Pairing QR image: not written; the diagnostic log says why.");
}

void runCancel(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("cancel", arguments)) return;
    if (!*context.pairing.isPairingActive()) {
        context.write("No pairing to cancel.");
        return;
    }
    context.pairing.cancelPairing("Pairing session cancelled");
    context.write("Pairing cancelled.");
}

void runDevices(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("devices", arguments)) return;
    const auto& devices = *context.authorization.pairedDevices();
    std::size_t number = 0;
    writeListing(context, devices, "Paired devices: none.", "Paired devices: " + std::to_string(devices.size()),
                 [&number](const AuthorizedClientDevice& device) {
                     std::string line = std::to_string(++number) + ". " + echoed(device.displayName) + "  " +
                                        displayFingerprint(device.certificateFingerprint) + "  paired " +
                                        formatDate(device.pairedAt) + "  last seen " +
                                        (device.lastSeenAt ? formatDate(*device.lastSeenAt) : std::string("never"));
                     if (device.lastConnectionChannel) {
                         line += "  via " + std::string(platform::rawValue(*device.lastConnectionChannel));
                     }
                     return line;
                 });
}

void runRevoke(TerminalContext& context, std::string_view arguments) {
    const auto [word, rest] = splitFirstWord(arguments);
    const auto& devices = *context.authorization.pairedDevices();
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    if (word.empty() || !rest.empty() || error != std::errc() || end != word.data() + word.size()) {
        return context.reportMalformed("revoke", "give the number that \"devices\" shows");
    }
    if (number < 1 || number > devices.size()) {
        context.write("No device number " + std::to_string(number) + "; \"devices\" lists " +
                      std::to_string(devices.size()) + ".");
        return;
    }
    // Copied: revoking replaces the list the reference points into.
    const AuthorizedClientDevice device = devices[number - 1];
    const auto notSaved = context.authorization.revokePairedDevice(device.certificateFingerprint);
    context.write("Revoked " + echoed(device.displayName) + " (" + displayFingerprint(device.certificateFingerprint) +
                  ").");
    if (notSaved) {
        context.write(notSavedText(*notSaved) + " The device is paired again after a restart unless revoked then.");
    }
}

void runLog(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("log", arguments)) return;
    const auto& events = *context.authorization.securityAuditEvents();
    writeListing(context, events, "Security log: no events.",
                 "Security log: " + std::to_string(events.size()) + (events.size() == 1 ? " event" : " events") +
                     ", newest first",
                 [](const HalvardineSecurityAuditEvent& event) {
                     std::string line = formatDate(event.date) + "  " + echoed(event.message, serverTextLength);
                     if (event.fingerprint) line += "  [" + displayFingerprint(*event.fingerprint) + "]";
                     return line;
                 });
}

}  // namespace zentrabo
