#include "platform/text/collation.hpp"
#include "platform/text/file_url.hpp"
#include "platform/text/log_escape.hpp"
#include "platform/text/numeric_characters.hpp"
#include "platform/text/percent_encoding.hpp"
#include "platform/text/trim.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace zentrabo::platform {
namespace {

TEST(TrimTest, RemovesEveryUnicodeWhiteSpaceAndLineBreakAtBothEnds) {
    EXPECT_EQ(trimWhitespaceAndNewlines(" \t\r\n abc \v\f"), "abc");
    // U+00A0, U+0085, U+2028, U+2029, U+3000, U+202F, U+1680
    EXPECT_EQ(trimWhitespaceAndNewlines("\u00A0\u0085\u2028x y\u2029\u3000\u202F\u1680"), "x y");
    EXPECT_EQ(trimWhitespaceAndNewlines("  inner \u00A0 spaces stay  "), "inner \u00A0 spaces stay");
    EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
    EXPECT_EQ(trimWhitespaceAndNewlines("\u2003\n"), "");
}

TEST(TrimTest, KeepsWhatIsNotWhiteSpace) {
    // Zero-width space and BOM are format characters, not white space.
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200Bx\uFEFF"), "\u200Bx\uFEFF");
    // Invalid UTF-8 stays; trimming stops at it.
    EXPECT_EQ(trimWhitespaceAndNewlines(" \xFF \xC3 "), "\xFF \xC3");
    EXPECT_EQ(trimWhitespaceAndNewlines(" é "), "é");
    EXPECT_TRUE(isBlank(" \u00A0\n"));
    EXPECT_FALSE(isBlank(" . "));
}

TEST(PercentEncodingTest, EncodesEverythingButTheQueryValueSet) {
    EXPECT_EQ(percentEncodeQueryValue("A&B c"), "A%26B%20c");
    EXPECT_EQ(percentEncodeQueryValue("-._~!$'()*+,;:@/?"), "-._~!$'()*+,;:@/?");
    EXPECT_EQ(percentEncodeQueryValue("a=b#c%d[e]\"<>"), "a%3Db%23c%25d%5Be%5D%22%3C%3E");
    EXPECT_EQ(percentEncodeQueryValue("é"), "%C3%A9");
    EXPECT_EQ(percentEncodeQueryValue(std::string("\0\x7F", 2)), "%00%7F");
}

class CollationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) unsetenv(name);
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(CollationTest, UsesTheRootLocaleUnderCOrUnsetAndNotPosixOrder) {
    EXPECT_EQ(collationLocaleName(), "");
    setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(collationLocaleName(), "");
    const Collator collator;
    EXPECT_TRUE(collator.compare("alpha", "Beta") < 0);
    EXPECT_TRUE(collator.compare("a", "A") < 0);  // case decides only at the last level
    EXPECT_TRUE(collator.compare("e", "é") < 0);
}

TEST_F(CollationTest, TakesTheUsersLocaleWhenItIsReal) {
    setenv("LANG", "sv_SE.UTF-8", 1);
    EXPECT_EQ(collationLocaleName(), "sv_SE");
    EXPECT_TRUE(Collator().compare("ö", "z") > 0);  // Swedish sorts ö after z
    setenv("LC_ALL", "de_DE.UTF-8@euro", 1);
    EXPECT_EQ(collationLocaleName(), "de_DE");
    setenv("LC_ALL", "xx_YY.UTF-8", 1);
    EXPECT_EQ(collationLocaleName(), "");
}

TEST_F(CollationTest, CaseInsensitiveComparisonKeepsDiacritics) {
    EXPECT_TRUE(equalCaseInsensitive("Menu Bar", "menu bar"));
    EXPECT_FALSE(equalCaseInsensitive("resume", "Résumé"));
    EXPECT_TRUE(compareCaseInsensitive("alpha", "BETA") < 0);
    const Collator primary("", CollationStrength::primary);
    EXPECT_TRUE(primary.equal("resume", "RÉSUMÉ"));
}

TEST_F(CollationTest, LocalizedStandardOrderComparesDigitRunsByValueAndCaseLast) {
    const Collator order = Collator::localizedStandard();
    EXPECT_TRUE(order.compare("Mac 9", "Mac 10") < 0);
    EXPECT_TRUE(order.compare("alpha", "Beta") < 0);
    EXPECT_TRUE(order.compare("ipad", "iPad") != 0) << "names differing in case still get an order";
    EXPECT_TRUE(Collator().compare("Mac 10", "Mac 9") < 0) << "textual digits stay the default";
}

TEST_F(CollationTest, SortKeysOrderAsTheCollatorCompares) {
    const Collator order = Collator::localizedStandard();
    const std::vector<std::string> names = {"File10", "file2", "File2", "Äpfel", "apfel", "b", "", "x\xFFy", "9", "10"};
    for (const auto& a : names) {
        for (const auto& b : names) {
            EXPECT_EQ(order.sortKey(a) <=> order.sortKey(b), order.compare(a, b) <=> 0) << a << " / " << b;
        }
    }
    EXPECT_LT(order.sortKey("File2"), order.sortKey("File10"));
}

TEST(FileURLTest, DecodesFileURLsAndRefusesEverythingElse) {
    EXPECT_EQ(filePathFromFileURL("file:///Users/me/My%20File.txt"), "/Users/me/My File.txt");
    EXPECT_EQ(filePathFromFileURL("FILE://localhost/tmp/a?x=1#top"), "/tmp/a");
    EXPECT_EQ(filePathFromFileURL("file:/tmp"), "/tmp");
    EXPECT_EQ(filePathFromFileURL("file://server/share"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("file:///my file"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("file:///bad%2"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("file:///nul%00"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("file://"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("https://example.com/a"), std::nullopt);
    EXPECT_EQ(filePathFromFileURL("/tmp/file:x"), std::nullopt);
}

TEST(NumericCharactersTest, KeepsEveryCharacterWithANumericValue) {
    EXPECT_EQ(numericCharacters(" 12-3a4 "), "1234");
    EXPECT_EQ(numericCharacters("٣x½Ⅻ"), "٣½Ⅻ");
    EXPECT_EQ(numericCharacters("1\xFF"
                                "2"),
              "12");
    EXPECT_EQ(numericCharacters("abc"), "");
}

TEST(LogEscapeTest, EscapesControlsAndCapsTheLength) {
    EXPECT_EQ(escapeForLog("line\nnext\r\t\\"), "line\\nnext\\r\\t\\\\");
    EXPECT_EQ(escapeForLog(std::string("a\0b\x1B[31m\x7F", 9)), "a\\u{0000}b\\u{001B}[31m\\u{007F}");
    EXPECT_EQ(escapeForLog("\u0085\u2028evil\u202Etxt"), "\\u{0085}\\u{2028}evil\\u{202E}txt");
    EXPECT_EQ(escapeForLog("ok \xFF\xC3 é 名前"), "ok \\xFF\\xC3 é 名前");
    EXPECT_EQ(escapeForLog(std::string(200, 'x')), std::string(200, 'x'));
    EXPECT_EQ(escapeForLog(std::string(201, 'x')), std::string(200, 'x') + "…");
    EXPECT_EQ(escapeForLog("ééé", 2), "éé…");
}

}  // namespace
}  // namespace zentrabo::platform
