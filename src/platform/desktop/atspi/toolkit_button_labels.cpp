#include "platform/desktop/atspi/toolkit_button_labels.hpp"

#include <libintl.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <mutex>

// The C library's count of loaded catalogues: raising it drops its cache
// of translations, which is keyed by the locale and not by LANGUAGE.
extern "C" int _nl_msg_cat_cntr;

namespace zentrabo::platform {
namespace {

constexpr const char* kCatalogue = "gtk30";

// The catalogue's keys for each button, with and without their mnemonics.
constexpr std::array<const char*, 2> kCancelKeys{"_Cancel", "Cancel"};
constexpr std::array<const char*, 2> kCloseKeys{"_Close", "Close"};

// The messages of the environment's language on this thread only, so the
// process's own locale (never set from the environment here) stays as it is.
class MessagesLocale {
public:
    MessagesLocale() : locale_(newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(nullptr))) {
        if (locale_) previous_ = uselocale(locale_);
    }
    ~MessagesLocale() {
        if (!locale_) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    MessagesLocale(const MessagesLocale&) = delete;
    MessagesLocale& operator=(const MessagesLocale&) = delete;

    // A locale the system does not have gives the toolkit's English labels,
    // as it does to the applications.
    explicit operator bool() const { return locale_ != nullptr; }

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

}  // namespace

std::string withoutMnemonic(std::string_view label) {
    std::string name;
    name.reserve(label.size());
    for (std::size_t index = 0; index < label.size(); ++index) {
        if (label[index] == '_') {
            if (index + 1 < label.size() && label[index + 1] == '_') name += label[++index];
            continue;
        }
        name += label[index];
    }
    return name;
}

std::vector<std::string> toolkitButtonNames(DismissButton button) {
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    // The catalogue's translations in UTF-8, whatever the locale's charset.
    static const bool boundCodeset = bind_textdomain_codeset(kCatalogue, "UTF-8") != nullptr;
    (void)boundCodeset;
    const auto& keys = button == DismissButton::cancel ? kCancelKeys : kCloseKeys;
    std::vector<std::string> names{withoutMnemonic(keys.front())};
    const MessagesLocale locale;
    if (!locale) return names;
    // The language may have changed since the last call.
    ++_nl_msg_cat_cntr;
    for (const char* key : keys) {
        auto name = withoutMnemonic(dgettext(kCatalogue, key));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace zentrabo::platform
