#pragma once
// The accessibility interface: process trust, elements, attributes, actions
// and the per-element messaging timeout, with the platform's error codes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/desktop/accessible_menus.hpp"
#include "platform/desktop/accessible_modals.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo::platform {

// Result codes of accessibility calls.
using AXError = std::int32_t;
namespace axerror {
inline constexpr AXError success = 0;
inline constexpr AXError failure = -25200;
inline constexpr AXError illegalArgument = -25201;
inline constexpr AXError invalidUIElement = -25202;
inline constexpr AXError invalidUIElementObserver = -25203;
inline constexpr AXError cannotComplete = -25204;
inline constexpr AXError attributeUnsupported = -25205;
inline constexpr AXError actionUnsupported = -25206;
inline constexpr AXError notificationUnsupported = -25207;
inline constexpr AXError notImplemented = -25208;
inline constexpr AXError notificationAlreadyRegistered = -25209;
inline constexpr AXError notificationNotRegistered = -25210;
inline constexpr AXError apiDisabled = -25211;
inline constexpr AXError noValue = -25212;
inline constexpr AXError parameterizedAttributeUnsupported = -25213;
}  // namespace axerror

// An opaque reference to an accessibility element. It is a value: copying is
// cheap and two references to the same element compare equal. An element can
// outlive what it refers to; calls on it then fail with invalidUIElement.
class AXElement {
public:
    enum class Kind : std::uint8_t { systemWide, application, node };

    AXElement() = default;
    AXElement(Kind kind, std::int64_t identity) : kind_(kind), identity_(identity) {}

    Kind kind() const { return kind_; }
    // The process identifier for an application element; an identity chosen
    // by the implementation otherwise.
    std::int64_t identity() const { return identity_; }

    bool operator==(const AXElement&) const = default;

private:
    Kind kind_ = Kind::systemWide;
    std::int64_t identity_ = 0;
};

// A location and length in UTF-16 code units.
struct TextRange {
    std::int64_t location = 0;
    std::int64_t length = 0;
    bool operator==(const TextRange&) const = default;
};

// An attribute value of one of the types the callers read and write.
using AXValue = std::variant<std::string, bool, std::int64_t, double, AXElement, std::vector<AXElement>, Point, Size,
                             Rect, TextRange>;

// The answer to a read: a code, and a value only when the code is success
// and the attribute has one (success without a value exists).
struct AXAttributeResult {
    AXError error = axerror::failure;
    std::optional<AXValue> value;
};

// One of an application's windows as accessibility reaches it.
struct ApplicationWindow {
    // Names the window in the window calls for as long as it lives.
    AXElement handle;
    // The window server's number for it; none when it cannot be told.
    std::optional<WindowID> number;
    std::string title;
    // On the global desktop, decorations included; none when unreadable.
    std::optional<Rect> frame;
    bool minimized = false;
    // The window of the application that has the focus; at most one.
    bool focused = false;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may use the interface. Never prompts.
    virtual bool isProcessTrusted() = 0;
    // Asks the user to trust the process (the prompt) and answers the state
    // at that moment.
    virtual bool requestProcessTrust() = 0;
    // What the user should know after such a request beyond its answer;
    // empty when nothing.
    virtual std::string processTrustRequestNote() const { return {}; }

    virtual AXElement systemWideElement() = 0;
    virtual AXElement applicationElement(ProcessID pid) = 0;

    // Seconds a call on the element may block before it fails with
    // cannotComplete; zero restores the default.
    virtual AXError setMessagingTimeout(const AXElement& element, double seconds) = 0;
    virtual AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) = 0;
    virtual AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) = 0;
    virtual AXError performAction(const AXElement& element, const std::string& action) = 0;

    // An application's whole menu tree, read as one piece of work: the
    // caller waits at most limits.inAll (plus one call) for it.
    virtual MenuTreeRead menuTree(ProcessID application, const MenuReadLimits& limits) = 0;
    // Follows levels items from the menu bar, as chosen at each level, and
    // presses the last one unless it is disabled; one piece of work too.
    virtual MenuPressResult pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                          const MenuReadLimits& limits) = 0;

    // The sheet or modal window that blocks the application, read as one
    // piece of work within the limits; none when nothing blocks it or it
    // cannot be read.
    virtual std::optional<ModalWindow> modalWindow(ProcessID application, const MenuReadLimits& limits) = 0;
    // Reads that window and presses the button chosen from it, as one piece
    // of work.
    virtual ModalPressResult pressModalButton(ProcessID application, const ModalButtonChooser& choose,
                                              const MenuReadLimits& limits) = 0;
    // Writes the text over the focused text field's selection and puts the
    // caret behind it, as one piece of work; true only when the field then
    // holds what was written.
    virtual bool insertIntoFocusedField(const std::string& text, const MenuReadLimits& limits) = 0;
    // An application's windows, in the order its toolkit lists them, read
    // within the application element's messaging timeout. Empty when none
    // can be read. The calls after take a window's handle and its timeout.
    virtual std::vector<ApplicationWindow> applicationWindows(ProcessID application) = 0;
    virtual std::optional<Rect> windowFrame(const AXElement& window) = 0;
    // A frame the window keeps within its own limits answers success: the
    // caller reads the frame back.
    virtual AXError setWindowPosition(const AXElement& window, const Point& origin) = 0;
    virtual AXError setWindowSize(const AXElement& window, const Size& size) = 0;
    virtual AXError setWindowMinimized(const AXElement& window, bool minimized) = 0;
    // Brings the window to the front with the input focus.
    virtual AXError raiseWindow(const AXElement& window) = 0;
    // Brings the application's frontmost shown window forward; its
    // minimized windows stay so.
    virtual AXError bringApplicationForward(ProcessID application) = 0;
};

}  // namespace zentrabo::platform

template <>
struct std::hash<zentrabo::platform::AXElement> {
    std::size_t operator()(const zentrabo::platform::AXElement& element) const noexcept {
        return std::hash<std::int64_t>{}(element.identity()) * 31 + static_cast<std::size_t>(element.kind());
    }
};
