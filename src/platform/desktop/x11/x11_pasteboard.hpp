#pragma once
// The clipboard of an X11 session, until it speaks the selection protocol:
// an empty pasteboard that takes no writes.
#include "platform/desktop/pasteboard.hpp"

namespace zentrabo::platform {

class X11Pasteboard final : public Pasteboard {
public:
    std::vector<PasteboardItem> items() override { return {}; }
    std::int64_t clearContents() override { return 0; }
    bool setString(const std::string&) override { return false; }
    bool writeItems(const std::vector<PasteboardItem>&) override { return false; }
    std::optional<std::string> string() override { return std::nullopt; }
    std::int64_t changeCount() override { return 0; }
};

}  // namespace zentrabo::platform
