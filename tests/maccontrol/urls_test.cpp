// Opening URLs and shortcut URLs.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"
#include "model/records/workflow_step.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;

class URLsTest : public ControllerTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.application("Finder", "com.example.finder");
        start(builder);
    }

    std::vector<std::string> opened() {
        std::vector<std::string> urls;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "openURL") urls.push_back(entry.subject);
        }
        return urls;
    }

    MacMenuError openFailure(const std::optional<std::string>& text) {
        try {
            controller->openURL(text);
        } catch (const MacMenuError& error) {
            return error;
        }
        ADD_FAILURE() << "no failure for " << text.value_or("(none)");
        return MacMenuError(Case::actionFailed);
    }
};

TEST_F(URLsTest, OpensTrimmedURLsAndBareHostsAsWebAddresses) {
    controller->openURL(" \thttps://example.com/a?b=c\n");
    controller->openURL("example.com/path");
    controller->openURL("notes-app://open?note=1");
    controller->openURL("mailto:someone@example.com");
    controller->openURL("file:///Users/me/Report.pdf");
    controller->openURL(MenuWorkflowStep::shortcutURL("  Morning Routine "));
    EXPECT_THAT(opened(),
                ElementsAre("https://example.com/a?b=c", "https://example.com/path", "notes-app://open?note=1",
                            "mailto:someone@example.com", "file:///Users/me/Report.pdf",
                            "shortcuts://run-shortcut?name=Morning%20Routine"));
}

TEST_F(URLsTest, RefusesMissingAndMalformedTextNamingWhatTheUserGave) {
    for (const auto& text :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>(" \n\t ")}) {
        EXPECT_EQ(openFailure(text).errorCase(), Case::urlRequired);
    }
    const auto spaced = openFailure("  two words ");
    EXPECT_EQ(spaced.errorCase(), Case::invalidURL);
    EXPECT_EQ(spaced.errorDescription(), "Invalid URL: two words") << "the trimmed text, without https://";
    EXPECT_EQ(openFailure(":nothing").errorCase(), Case::invalidURL) << "an empty scheme";
    EXPECT_EQ(openFailure("https://example.com/%zz").errorCase(), Case::invalidURL);
    EXPECT_EQ(openFailure("https://example.com/<script>").errorCase(), Case::invalidURL);
    EXPECT_EQ(openFailure(std::string("https://example.com/\x01")).errorCase(), Case::invalidURL);
    EXPECT_EQ(openFailure(std::string("https://example.com/\xC3")).errorCase(), Case::invalidURL);
    EXPECT_THAT(opened(), IsEmpty());
}

}  // namespace
}  // namespace zentrabo
