// The CLIPBOARD selection as the pasteboard owns and reads it, with xclip as
// the other client: text both ways, large data in increments both ways, the
// change count moved by another owner, and another owner's targets saved and
// put back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/desktop/x11/x11_pasteboard.hpp"
#include "support/x11_session.hpp"
#include "support/x11_witness.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using platform::PasteboardItem;
using platform::X11Pasteboard;
using ::testing::Contains;
using ::testing::IsSupersetOf;
using ::testing::Pair;

class X11PasteboardTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        pasteboard_.emplace(std::getenv("DISPLAY"));
        folder_ = std::filesystem::temp_directory_path() / ("zentrabo-pasteboard-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // The text xclip reads from the clipboard as the target.
    static std::string xclipReads(const std::string& target = "UTF8_STRING") {
        return witnessOutput("xclip -o -selection clipboard -t " + target);
    }
    // xclip takes the clipboard with the file's bytes as the target; it keeps
    // serving in the background until another owner takes the selection.
    void xclipWrites(const std::string& bytes, const std::string& target = "UTF8_STRING") {
        const auto file = folder_ / "input";
        std::ofstream(file, std::ios::binary) << bytes;
        const std::int64_t before = pasteboard_->changeCount();
        witnessOutput("xclip -i -selection clipboard -t " + target + " " + file.string() + " >/dev/null 2>&1");
        ASSERT_TRUE(eventually([&] { return pasteboard_->changeCount() != before; }));
    }

    std::optional<X11Pasteboard> pasteboard_;
    std::filesystem::path folder_;
};

TEST_F(X11PasteboardTest, TextGoesBothWaysWithItsTargets) {
    const std::string text = "Grüße ✓ \"quoted\"";
    const std::int64_t before = pasteboard_->changeCount();
    ASSERT_TRUE(pasteboard_->setString(text));
    EXPECT_GT(pasteboard_->changeCount(), before);
    EXPECT_EQ(xclipReads(), text);
    EXPECT_EQ(xclipReads("TEXT"), text);
    EXPECT_EQ(xclipReads("STRING"),
              "Gr\xFC\xDF"
              "e ? \"quoted\"");
    const std::string targets = xclipReads("TARGETS");
    for (const char* target : {"TARGETS", "UTF8_STRING", "TEXT", "STRING"}) {
        EXPECT_NE(targets.find(target), std::string::npos) << target;
    }

    xclipWrites("from another owner é");
    EXPECT_EQ(pasteboard_->string(), "from another owner é");
    // Cleared, the clipboard offers nothing.
    pasteboard_->clearContents();
    EXPECT_EQ(pasteboard_->string(), std::nullopt);
    EXPECT_TRUE(pasteboard_->items().empty());
}

TEST_F(X11PasteboardTest, TenMebibytesGoInIncrementsBothWays) {
    std::string large(10 * 1024 * 1024, '\0');
    for (std::size_t at = 0; at < large.size(); ++at) large[at] = static_cast<char>('a' + at * 7 % 26);
    ASSERT_TRUE(pasteboard_->setString(large));
    EXPECT_TRUE(xclipReads() == large) << "xclip read " << xclipReads().size() << " bytes";

    large[12345] = '!';
    xclipWrites(large);
    const auto read = pasteboard_->string();
    ASSERT_TRUE(read);
    EXPECT_TRUE(*read == large) << "read " << read->size() << " bytes";
}

TEST_F(X11PasteboardTest, AnotherOwnersTargetsAreSavedAndPutBack) {
    // Another owner offering two targets of its own.
    X11Pasteboard other(std::getenv("DISPLAY"));
    const auto bytes = [](const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
    ASSERT_TRUE(other.writeItems(
        {PasteboardItem{{{"text/html", bytes("<b>bold</b>")}, {platform::pasteboardtype::string, bytes("bold")}}}}));
    ASSERT_TRUE(eventually([&] { return pasteboard_->string() == "bold"; }));

    const auto saved = pasteboard_->items();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_THAT(saved[0].representations, IsSupersetOf({Pair("text/html", bytes("<b>bold</b>")),
                                                        Pair(platform::pasteboardtype::string, bytes("bold"))}));
    pasteboard_->clearContents();
    ASSERT_TRUE(pasteboard_->setString("pasted"));
    EXPECT_EQ(xclipReads(), "pasted");
    ASSERT_TRUE(pasteboard_->writeItems(saved));
    EXPECT_EQ(xclipReads("text/html"), "<b>bold</b>");
    EXPECT_EQ(xclipReads(), "bold");
}

TEST_F(X11PasteboardTest, ATargetOverTheLimitIsLeftOutAndNamed) {
    xclipWrites(std::string(X11Pasteboard::maximumTargetSize + 1, 'x'), "image/png");
    EXPECT_TRUE(pasteboard_->items().empty());
    EXPECT_THAT(pasteboard_->typesLeftOut().tooLarge, Contains("image/png"));
}

}  // namespace
}  // namespace zentrabo::testing
