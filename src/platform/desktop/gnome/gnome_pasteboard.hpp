#pragma once
// The clipboard of a GNOME Wayland session, which mutter offers only inside
// a remote desktop session: another owner's types as mutter announces them,
// each read through SelectionRead; ours offered through SetSelection and
// written when a reader asks (RemoteDesktopSession). A copy an application
// makes without an input event of ours is not visible to the session's
// clipboard: a reading then finds no owner and answers an empty clipboard.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/gnome/remote_desktop_link.hpp"
#include "platform/desktop/pasteboard.hpp"

namespace zentrabo::platform {

class GnomePasteboard final : public Pasteboard {
public:
    // How long a whole reading of another owner's data may take.
    static constexpr std::chrono::seconds readingDeadline{5};

    explicit GnomePasteboard(std::shared_ptr<RemoteDesktopLink> link) : link_(std::move(link)) {}

    std::vector<PasteboardItem> items() override;
    std::int64_t clearContents() override;
    bool setString(const std::string& text) override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    std::optional<std::string> string() override;
    std::int64_t changeCount() override;
    PasteboardTypesLeftOut typesLeftOut() override;

private:
    using Contents = std::map<std::string, std::vector<std::uint8_t>>;
    // Offers the contents (by mime type) as ours; false when mutter refuses.
    bool own(Contents contents);
    // Our contents while we own the clipboard.
    std::optional<Contents> ownedContents(RemoteDesktopSession& session);

    std::shared_ptr<RemoteDesktopLink> link_;
    std::mutex mutex_;
    std::optional<Contents> owned_;
    std::int64_t ownerChangesAtOffer_ = 0;
    std::int64_t writes_ = 0;
    PasteboardTypesLeftOut typesLeftOut_;
};

}  // namespace zentrabo::platform
