#include "platform/text/case_mapping.hpp"

#include <gtest/gtest.h>

namespace zentrabo::platform {
namespace {

TEST(CaseMappingTest, UpperCaseFollowsTheUnicodeRulesOfNoLanguage) {
    EXPECT_EQ(uppercased("s"), "S");
    EXPECT_EQ(uppercased("ß"), "SS");
    EXPECT_EQ(uppercased("i"), "I") << "no Turkish dotted capital";
    EXPECT_EQ(uppercased("é"), "É");
    EXPECT_EQ(uppercased("+"), "+");
}

TEST(CaseMappingTest, PrefixesIgnoreCaseAndDiacriticsAndAreAnchoredAtTheStart) {
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Save As…", "save"));
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Éxport", "exp"));
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Export", "ÉX"));
    // A decomposed accent compares like a composed one.
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Re\xCC\x81sume\xCC\x81", "Résu"));
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Straße", "STRASS"));
    EXPECT_TRUE(beginsWithIgnoringCaseAndDiacritics("Any", ""));
    EXPECT_FALSE(beginsWithIgnoringCaseAndDiacritics("Save", "ave"));
    EXPECT_FALSE(beginsWithIgnoringCaseAndDiacritics("Sa", "Save"));
}

}  // namespace
}  // namespace zentrabo::platform
