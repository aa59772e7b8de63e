// Pairing and the paired devices: pair, cancel, devices, revoke, and the
// security audit log.
#include <charconv>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/terminal_context.hpp"
#include "app/terminal_qr.hpp"
#include "app/terminal_text.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/qr_code.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

// Why the server did not open a pairing window: it refuses while the
// listener is down, and audits its refusal while pairing is locked.
std::string pairingRefusal(HalvardineServer& server, const std::optional<Uuid>& newestEventBefore) {
    if (!*server.listener().isRunning()) return "Pairing not started: the server is not listening. Try \"restart\".";
    const auto& events = *server.authorization().auditLog().securityAuditEvents();
    if (!events.empty() && events.front().id != newestEventBefore)
        return echoed(events.front().message, serverTextLength) + ".";
    return "Pairing not started; the diagnostic log says why.";
}

void writeQrCode(TerminalContext& context, const std::string& link) {
    try {
        const auto code = platform::QrCode::encode(link, platform::QrErrorCorrection::medium);
        for (const auto& line : drawQrCode(code)) context.write(line);
    } catch (const platform::ImagingError&) {
        context.write("Pairing QR code: the link does not fit in a QR code.");
    }
}

void writeQrImagePath(TerminalContext& context) {
    const auto path = HalvardineServer::pairingQRImagePath();
    std::error_code ignored;
    (void)context.server.pairingQRCode();
    if (std::filesystem::exists(path, ignored)) {
        context.write("Pairing QR image: " + path.string());
    } else {
        context.write("Pairing QR image: not written; the diagnostic log says why.");
    }
}

}  // namespace

void runPair(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("pair", arguments)) return;
    auto& server = context.server;
    const auto& events = *server.authorization().auditLog().securityAuditEvents();
    const std::optional<Uuid> newestEventBefore = events.empty() ? std::nullopt : std::optional(events.front().id);
    server.startPairingSession();
    const auto link = server.pairingLink();
    if (!*server.isPairingActive() || !link) {
        context.write(pairingRefusal(server, newestEventBefore));
        return;
    }
    context.write("Pairing started; it closes in " + std::to_string(*server.pairingRemainingSeconds()) +
                  " seconds (\"cancel\" closes it now).");
    context.write("Pairing code: " + *server.pairingCode());
    context.write("Pairing link: " + *link);
    writeQrCode(context, *link);
    writeQrImagePath(context);
}

void runCancel(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("cancel", arguments)) return;
    if (!*context.server.isPairingActive()) {
        context.write("No pairing to cancel.");
        return;
    }
    context.server.cancelPairing("Pairing session cancelled");
    context.write("Pairing cancelled.");
}

void runDevices(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("devices", arguments)) return;
    const auto& devices = *context.authorization.pairedDevices();
    if (devices.empty()) {
        context.write("Paired devices: none.");
        return;
    }
    context.write("Paired devices: " + std::to_string(devices.size()));
    std::size_t number = 0;
    for (const auto& device : devices) {
        std::string line = std::to_string(++number) + ". " + echoed(device.displayName) + "  " +
                           displayFingerprint(device.certificateFingerprint) + "  paired " +
                           formatDate(device.pairedAt) + "  last seen " +
                           (device.lastSeenAt ? formatDate(*device.lastSeenAt) : std::string("never"));
        if (device.lastConnectionChannel) line += "  via " + std::string(rawValue(*device.lastConnectionChannel));
        context.write(line);
    }
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
    context.authorization.revokePairedDevice(device.certificateFingerprint);
    context.write("Revoked " + echoed(device.displayName) + " (" + displayFingerprint(device.certificateFingerprint) +
                  ").");
}

void runLog(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("log", arguments)) return;
    const auto& events = *context.authorization.auditLog().securityAuditEvents();
    if (events.empty()) {
        context.write("Security log: no events.");
        return;
    }
    context.write("Security log: " + std::to_string(events.size()) + (events.size() == 1 ? " event" : " events") +
                  ", newest first");
    for (const auto& event : events) {
        std::string line = formatDate(event.date) + "  " + echoed(event.message, serverTextLength);
        if (event.fingerprint) line += "  [" + displayFingerprint(*event.fingerprint) + "]";
        context.write(line);
    }
}

}  // namespace zentrabo
