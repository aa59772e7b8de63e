#include "platform/random/uuid.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zentrabo::platform {
namespace {

TEST(UuidTest, MakesRandomVersionFourUpperCaseTexts) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = Uuid::random().uuidString;
        ASSERT_EQ(uuid.size(), 36u);
        EXPECT_EQ(Uuid::parse(uuid), Uuid{uuid});
        EXPECT_EQ(uuid[14], '4');
        EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos);
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(UuidTest, ParsingAcceptsOnlyTheHyphenatedHexFormAndGivesUpperCase) {
    EXPECT_EQ(Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), Uuid{"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"});
    EXPECT_EQ(Uuid::parse("E621E1F8C36C495A93FC0C247A3E6E5F"), std::nullopt);
    EXPECT_EQ(Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5G"), std::nullopt);
    EXPECT_EQ(Uuid::parse("{621E1F8-C36C-495A-93FC-0C247A3E6E5F"), std::nullopt);
    EXPECT_EQ(Uuid::parse(""), std::nullopt);
}

}  // namespace
}  // namespace zentrabo::platform
