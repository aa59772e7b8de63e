#pragma once
// The general pasteboard: items, each holding data under one or more types.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentrabo::platform {

namespace pasteboardtype {
inline constexpr const char* string = "public.utf8-plain-text";
}

// The most a pasteboard copies of one type of another application's item.
inline constexpr std::size_t maximumPasteboardTypeBytes = 16 * 1024 * 1024;
// The most it copies of all the types of another application's item together.
inline constexpr std::size_t maximumPasteboardTotalBytes = 64 * 1024 * 1024;

// The types a reading of another application's item left out, by why.
struct PasteboardTypesLeftOut {
    // Each larger than maximumPasteboardTypeBytes.
    std::vector<std::string> tooLarge;
    // Each larger than what maximumPasteboardTotalBytes left after the types before it.
    std::vector<std::string> pastTotal;
    // Not handed over before the reading's deadline.
    std::vector<std::string> late;
    bool empty() const { return tooLarge.empty() && pastTotal.empty() && late.empty(); }
};

struct PasteboardItem {
    // Type and data, in the item's order; a string is its UTF-8 bytes.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> representations;
    bool operator==(const PasteboardItem&) const = default;
};

class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    virtual std::vector<PasteboardItem> items() = 0;
    // Empties the pasteboard; answers the new change count.
    virtual std::int64_t clearContents() = 0;
    // Writes text as the plain-string type on one new item; false on failure.
    virtual bool setString(const std::string& text) = 0;
    // Adds the items in one write; false on failure.
    virtual bool writeItems(const std::vector<PasteboardItem>& items) = 0;
    // The plain-string type of the first item that has one.
    virtual std::optional<std::string> string() = 0;
    virtual std::int64_t changeCount() = 0;
    // The types the last items() had to leave out.
    virtual PasteboardTypesLeftOut typesLeftOut() = 0;
};

}  // namespace zentrabo::platform
