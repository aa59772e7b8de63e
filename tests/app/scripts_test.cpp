// The project's own scripts, as a newcomer runs them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;

TEST(Scripts, TestScriptRunByAnotherUserThanRootStopsAtOnceAndSaysWhy) {
    TemporaryHome home;
    const auto errors = home.path() / "errors.txt";
    // setpriv (util-linux) runs it as "nobody".
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups bash " ZENTRABO_SOURCE_DIR
                                "/scripts/test.sh </dev/null >/dev/null 2>" +
                                errors.string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_THAT(fileText(errors), HasSubstr("must run as root"));
}

}  // namespace
}  // namespace zentrabo::testing
