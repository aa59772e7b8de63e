// Inserting text into the focused element through the accessibility
// interface, in UTF-16 code units as its ranges count them.
#include "maccontrol/accessibility_value.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo {

using platform::AXElement;
using platform::TextRange;

std::optional<AXElement> DesktopController::focusedElement() {
    auto& accessibility = desktop_.accessibility();
    const auto focused = readAccessibilityValue<AXElement>(accessibility, accessibility.systemWideElement(),
                                                           "AXFocusedUIElement", accessibilityMessagingTimeout);
    if (focused) accessibility.setMessagingTimeout(*focused, accessibilityMessagingTimeout);
    return focused;
}

std::optional<std::string> DesktopController::stringValue(const AXElement& element) {
    return accessibilityValue<std::string>(desktop_.accessibility().copyAttribute(element, "AXValue"));
}

std::optional<TextRange> DesktopController::selectedTextRange(const AXElement& element) {
    return accessibilityValue<TextRange>(desktop_.accessibility().copyAttribute(element, "AXSelectedTextRange"));
}

bool DesktopController::insertTextViaAccessibility(const std::string& text) {
    const auto element = focusedElement();
    if (!element) return false;
    const auto value = stringValue(*element);
    if (!value) return false;
    const auto range = selectedTextRange(*element);
    if (!range) return false;

    std::u16string units = platform::utf16(*value);
    const auto length = static_cast<std::int64_t>(units.size());
    // Written so that no sum can overflow, whatever the element reports.
    if (range->location < 0 || range->length < 0 || range->location > length ||
        range->length > length - range->location) {
        return false;
    }
    const std::u16string inserted = platform::utf16(text);
    units.replace(static_cast<std::size_t>(range->location), static_cast<std::size_t>(range->length), inserted);
    const std::string replaced = platform::utf8(units);

    auto& accessibility = desktop_.accessibility();
    if (accessibility.setAttribute(*element, "AXValue", replaced) != platform::axerror::success) return false;
    const TextRange caret{range->location + static_cast<std::int64_t>(inserted.size()), 0};
    accessibility.setAttribute(*element, "AXSelectedTextRange", caret);
    return stringValue(*element) == replaced;
}

}  // namespace zentrabo
