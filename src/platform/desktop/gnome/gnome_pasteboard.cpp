#include "platform/desktop/gnome/gnome_pasteboard.hpp"

namespace zentrabo::platform {

namespace {

constexpr const char* textMimeType = "text/plain;charset=utf-8";

std::string typeOfMimeType(const std::string& mimeType) {
    return mimeType == textMimeType ? std::string(pasteboardtype::string) : mimeType;
}

std::string mimeTypeOfType(const std::string& type) {
    return type == pasteboardtype::string ? std::string(textMimeType) : type;
}

}  // namespace

std::optional<GnomePasteboard::Contents> GnomePasteboard::ownedContents(RemoteDesktopSession& session) {
    std::lock_guard locked(mutex_);
    // An owner announced after our offer that is not us: it is theirs now.
    if (owned_ && session.ownerChanges() > ownerChangesAtOffer_ && !session.ownsSelection()) owned_.reset();
    return owned_;
}

std::vector<PasteboardItem> GnomePasteboard::items() {
    const auto session = link_->session();
    {
        std::lock_guard locked(mutex_);
        typesLeftOut_ = {};
    }
    if (!session) return {};
    if (const auto owned = ownedContents(*session)) {
        if (owned->empty()) return {};
        PasteboardItem item;
        for (const auto& [type, data] : *owned) item.representations.emplace_back(typeOfMimeType(type), data);
        return {std::move(item)};
    }
    auto types = session->ownerTypes();
    // An owner from before the session opened was never announced: its text
    // is still worth a try.
    if (types.empty()) types.push_back(textMimeType);
    const auto deadline = std::chrono::steady_clock::now() + readingDeadline;
    PasteboardTypesLeftOut leftOut;
    PasteboardItem item;
    std::size_t total = 0;
    for (const auto& type : types) {
        const std::size_t room = std::min(maximumPasteboardTypeBytes, maximumPasteboardTotalBytes - total);
        auto reading = session->read(type, room, deadline);
        switch (reading.outcome) {
        case SelectionReading::Outcome::read:
            total += reading.data.size();
            item.representations.emplace_back(typeOfMimeType(type), std::move(reading.data));
            break;
        case SelectionReading::Outcome::tooLarge:
            (room < maximumPasteboardTypeBytes ? leftOut.pastTotal : leftOut.tooLarge).push_back(type);
            break;
        case SelectionReading::Outcome::late:
            leftOut.late.push_back(type);
            break;
        case SelectionReading::Outcome::failed:
            break;
        }
    }
    std::lock_guard locked(mutex_);
    typesLeftOut_ = std::move(leftOut);
    if (item.representations.empty()) return {};
    return {std::move(item)};
}

bool GnomePasteboard::own(Contents contents) {
    const auto session = link_->session();
    if (!session) return false;
    std::lock_guard locked(mutex_);
    ownerChangesAtOffer_ = session->ownerChanges();
    if (!session->offer(contents)) return false;
    owned_ = std::move(contents);
    ++writes_;
    return true;
}

std::int64_t GnomePasteboard::clearContents() {
    own({});
    return changeCount();
}

bool GnomePasteboard::setString(const std::string& text) {
    return own({{textMimeType, std::vector<std::uint8_t>(text.begin(), text.end())}});
}

bool GnomePasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    // The clipboard holds one item: the first data of each type wins.
    Contents contents;
    for (const auto& item : items) {
        for (const auto& [type, data] : item.representations) contents.emplace(mimeTypeOfType(type), data);
    }
    return own(std::move(contents));
}

std::optional<std::string> GnomePasteboard::string() {
    const auto session = link_->session();
    if (!session) return std::nullopt;
    if (const auto owned = ownedContents(*session)) {
        const auto text = owned->find(textMimeType);
        if (text == owned->end()) return std::nullopt;
        return std::string(text->second.begin(), text->second.end());
    }
    const auto reading =
        session->read(textMimeType, maximumPasteboardTypeBytes, std::chrono::steady_clock::now() + readingDeadline);
    if (reading.outcome != SelectionReading::Outcome::read) return std::nullopt;
    return std::string(reading.data.begin(), reading.data.end());
}

std::int64_t GnomePasteboard::changeCount() {
    const auto session = link_->session();
    std::lock_guard locked(mutex_);
    return writes_ + (session ? session->ownerChanges() : 0);
}

PasteboardTypesLeftOut GnomePasteboard::typesLeftOut() {
    std::lock_guard locked(mutex_);
    return typesLeftOut_;
}

}  // namespace zentrabo::platform
