// Opening URLs, shortcut URLs included, with the default handler.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/trim.hpp"
#include "platform/text/url_text.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

void DesktopController::openURL(const std::optional<std::string>& urlString) {
    const std::string text = platform::trimWhitespaceAndNewlines(urlString.value_or(""));
    if (text.empty()) throw MacMenuError(Case::urlRequired);

    // Typed without a scheme ("example.com") means a web address.
    const auto parsed = platform::parseURLText(text);
    const std::string candidate = parsed && parsed->scheme ? text : "https://" + text;
    const auto url = platform::parseURLText(candidate);
    if (!url || !url->scheme || url->scheme->empty()) throw MacMenuError(Case::invalidURL, text);

    if (!desktop_.workspace().openURL(candidate).ok) throw MacMenuError(Case::actionFailed);
}

}  // namespace zentrabo
