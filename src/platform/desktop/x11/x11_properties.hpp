#pragma once
// Reading window properties, each read bounded in length.
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// A property read: the request is sent at once and its answer read later, so
// reads of many properties share one round trip.
class PropertyRead {
public:
    // At most maximumBytes of the property are read.
    PropertyRead(X11Connection& connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                 std::uint32_t maximumBytes = 4096);
    // A read whose answer was never taken has it thrown away when it comes.
    ~PropertyRead();
    PropertyRead(PropertyRead&& other) noexcept;
    PropertyRead& operator=(PropertyRead&&) = delete;

    // Each read's answer is taken once, by one of these.
    // The values of a 32-bit property (CARDINAL, WINDOW, ATOM); empty when unset.
    std::vector<std::uint32_t> numbers();
    // The first value of a 32-bit property.
    std::optional<std::uint32_t> number();
    // The bytes of an 8-bit property; none when unset.
    std::optional<std::string> text();

private:
    X11Reply<xcb_get_property_reply_t> take();

    X11Connection* connection_;
    xcb_get_property_cookie_t cookie_;
    bool pending_ = true;
};

// A window title as UTF-8: a UTF8_STRING taken as it is when well formed; a
// STRING (Latin-1) converted.
std::string titleText(const std::string& bytes, bool isLatin1);

}  // namespace zentrabo::platform
