#include "app/terminal_events.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/terminal_text.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/authorization/security_audit_event.hpp"

namespace zentrabo {

TerminalEvents::TerminalEvents(const ClientAuthorizer& authorization) {
    authorization.lastPairedDevice().observe(
        [weak = std::weak_ptr<Writers>(writers_)](const std::optional<AuthorizedClientDevice>& device) {
            const auto writers = weak.lock();
            if (!writers || !device) return;
            writers->write("Paired " + echoed(device->displayName) + " (" +
                           displayFingerprint(device->certificateFingerprint) + ").");
        });
    authorization.lastPairingNotSaved().observe(
        [weak = std::weak_ptr<Writers>(writers_)](const std::optional<std::string>& reason) {
            const auto writers = weak.lock();
            if (!writers || !reason) return;
            writers->write("Pairing not saved: " + *reason + ".");
        });
}

std::shared_ptr<void> TerminalEvents::subscribe(LineWriter writer) {
    const auto entry = writers_->list.insert(writers_->list.end(), std::move(writer));
    return std::shared_ptr<void>(nullptr, [weak = std::weak_ptr<Writers>(writers_), entry](void*) {
        if (const auto writers = weak.lock()) writers->list.erase(entry);
    });
}

void TerminalEvents::Writers::write(std::string_view line) const {
    // Copied: a writer may subscribe or unsubscribe another while it runs.
    const std::vector<LineWriter> current(list.begin(), list.end());
    for (const auto& writer : current) writer(line);
}

}  // namespace zentrabo
