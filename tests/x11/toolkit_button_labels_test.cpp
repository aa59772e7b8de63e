// The names of a dialog's Cancel and Close buttons in the language of the
// environment's messages, from GTK's own catalogue.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/atspi/toolkit_button_labels.hpp"
#include "support/scoped_environment.hpp"

namespace zentrabo::platform {
namespace {

using Names = std::vector<std::string>;

TEST(ToolkitButtonLabels, MnemonicsAreTakenOutOfLabels) {
    EXPECT_EQ(withoutMnemonic("_Abbrechen"), "Abbrechen");
    EXPECT_EQ(withoutMnemonic("A_nnuler"), "Annuler");
    EXPECT_EQ(withoutMnemonic("キャンセル(_C)"), "キャンセル(C)");
    EXPECT_EQ(withoutMnemonic("Save__As_"), "Save_As");
}

TEST(ToolkitButtonLabels, TheMessagesLanguageAddsGtksTranslations) {
    struct Case {
        std::optional<std::string> lang;
        std::optional<std::string> language;
        Names cancel;
        Names close;
    };
    const Case cases[] = {
        {"C.UTF-8", std::nullopt, {"Cancel"}, {"Close"}},
        {"C.UTF-8", "de", {"Cancel", "Abbrechen"}, {"Close", "Schließen"}},
        {"C.UTF-8", "fr:de", {"Cancel", "Annuler"}, {"Close", "Fermer"}},
        // Each name once: the catalogue leaves "Cancel" untranslated here.
        {"C.UTF-8", "ja", {"Cancel", "キャンセル(C)"}, {"Close", "閉じる(C)", "閉じる"}},
        // The plain C locale takes no translations, as the applications in
        // it show none; nor does a locale the system does not have.
        {"C", "de", {"Cancel"}, {"Close"}},
        {"xx_YY.UTF-8", "de", {"Cancel"}, {"Close"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang.value_or("-") + " " + c.language.value_or("-"));
        const testing::ScopedEnvironment environment(
            {{"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", c.lang}, {"LANGUAGE", c.language}});
        EXPECT_EQ(toolkitButtonNames(DismissButton::cancel), c.cancel);
        EXPECT_EQ(toolkitButtonNames(DismissButton::close), c.close);
    }
}

}  // namespace
}  // namespace zentrabo::platform
