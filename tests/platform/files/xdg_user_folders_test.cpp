#include "platform/files/xdg_user_folders.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temporary_home.hpp"

namespace zentrabo::platform {
namespace {

TEST(XdgUserFolders, TheDownloadFolderFollowsUserDirsAndFallsBackToDownloads) {
    struct Case {
        const char* file;      // nullptr: no user-dirs.dirs at all
        std::string expected;  // "~" stands for the home folder
    };
    const Case cases[] = {
        {nullptr, "~/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\n", "~/Téléchargements"},
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_DOWNLOAD_DIR=\"/srv/inbox/\"\r\n",
         "/srv/inbox"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIR=\"$HOME/b\"\n", "~/b"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/with \\\"quote\\\"\"", "~/with \"quote\""},
        // Values the file's format does not give: left for the default.
        {"XDG_DOWNLOAD_DIR=\"relative/path\"\n", "~/Downloads"},
        {"XDG_DOWNLOAD_DIR=$HOME/unquoted\n", "~/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"$HOMEWARD/x\"\n", "~/Downloads"},
        {"XDG_DOWNLOAD_DIRS=\"/elsewhere\"\n", "~/Downloads"},
        {"#XDG_DOWNLOAD_DIR=\"/commented\"\n", "~/Downloads"},
    };
    for (const auto& test : cases) {
        testing::TemporaryHome home;
        if (test.file != nullptr) {
            std::filesystem::create_directories(home.path() / ".config");
            std::ofstream(home.path() / ".config/user-dirs.dirs") << test.file;
        }
        std::string expected = test.expected;
        if (expected.starts_with('~')) expected = home.path().string() + expected.substr(1);
        EXPECT_EQ(downloadFolder().string(), expected) << (test.file ? test.file : "no file");
    }
}

}  // namespace
}  // namespace zentrabo::platform
