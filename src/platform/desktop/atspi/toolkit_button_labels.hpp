#pragma once
// The names the toolkit gives a dialog's Cancel and Close buttons: its
// English labels, and their translations into the language of the session's
// messages from GTK's own message catalogue ("gtk30"), the one GTK's dialogs
// take their labels from. The language is read from the environment
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) at each call, as the applications
// of the session read it.
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

enum class DismissButton { cancel, close };

// Each distinct name once, English first.
std::vector<std::string> toolkitButtonNames(DismissButton button);

// A label as its button is named: mnemonic underscores taken out, a doubled
// one kept as one ("_Abbrechen" is "Abbrechen", "キャンセル(_C)" is
// "キャンセル(C)").
std::string withoutMnemonic(std::string_view label);

}  // namespace zentrabo::platform
