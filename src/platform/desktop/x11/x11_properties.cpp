#include "platform/desktop/x11/x11_properties.hpp"

#include <cstring>

#include "platform/text/utf8.hpp"

namespace zentrabo::platform {

PropertyRead::PropertyRead(X11Connection& connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                           std::uint32_t maximumBytes)
    : connection_(&connection),
      cookie_(xcb_get_property(connection.get(), 0, window, property, type, 0, (maximumBytes + 3) / 4)) {}

PropertyRead::~PropertyRead() {
    if (pending_) xcb_discard_reply(connection_->get(), cookie_.sequence);
}

PropertyRead::PropertyRead(PropertyRead&& other) noexcept
    : connection_(other.connection_), cookie_(other.cookie_), pending_(other.pending_) {
    other.pending_ = false;
}

X11Reply<xcb_get_property_reply_t> PropertyRead::take() {
    if (!pending_) return nullptr;
    pending_ = false;
    return connection_->reply<xcb_get_property_reply_t>(cookie_);
}

std::vector<std::uint32_t> PropertyRead::numbers() {
    const auto property = take();
    if (!property || property->format != 32) return {};
    const auto count = static_cast<std::size_t>(xcb_get_property_value_length(property.get())) / 4;
    std::vector<std::uint32_t> values(count);
    if (count > 0) std::memcpy(values.data(), xcb_get_property_value(property.get()), count * 4);
    return values;
}

std::optional<std::uint32_t> PropertyRead::number() {
    const auto values = numbers();
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::optional<std::string> PropertyRead::text() {
    const auto property = take();
    if (!property || property->format != 8 || property->type == XCB_ATOM_NONE) return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(property.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(property.get())));
}

std::string titleText(const std::string& bytes, bool isLatin1) {
    if (!isLatin1 && isValidUtf8(bytes)) return bytes;
    // Latin-1, and bytes that are not UTF-8 read as Latin-1 too: every byte
    // stays a character rather than the title being lost.
    std::string text;
    for (const unsigned char byte : bytes) {
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

}  // namespace zentrabo::platform
