#include "server/files/file_receive_folder.hpp"

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"

#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

namespace zentrabo {
namespace {

class FileReceiveFolderTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    platform::ManualClock clock;
    platform::MainLoop writer;
    std::shared_ptr<platform::UserDefaults> defaults =
        platform::UserDefaults::create(clock, writer.executor(), [](const std::string&) {});
    std::string homePath = home.path().string();
};

TEST_F(FileReceiveFolderTest, BlankOrMissingSettingMeansDownloadsZentrabo) {
    const std::string fallback = homePath + "/Downloads/Zentrabo";
    EXPECT_EQ(fileReceiveFolderURL(*defaults), fallback);
    for (const char* blank : {"", "  ", " \n\t "}) {
        defaults->set(fileReceiveFolderPathKey, std::string(blank));
        EXPECT_EQ(fileReceiveFolderURL(*defaults), fallback) << '"' << blank << '"';
    }
    defaults->set(fileReceiveFolderPathKey, std::string(" /srv/in box/ "));
    EXPECT_EQ(fileReceiveFolderURL(*defaults), " /srv/in box/ ") << "the stored text is used as stored";
}

TEST_F(FileReceiveFolderTest, DisplayPathShortensOnlyTheHomeFolderItself) {
    EXPECT_EQ(fileReceiveFolderDisplayPath(homePath), "~");
    EXPECT_EQ(fileReceiveFolderDisplayPath(homePath + "/Downloads/Zentrabo"), "~/Downloads/Zentrabo");
    EXPECT_EQ(fileReceiveFolderDisplayPath(homePath + "2"), homePath + "2");
    EXPECT_EQ(fileReceiveFolderDisplayPath(homePath + "2/x"), homePath + "2/x");
    EXPECT_EQ(fileReceiveFolderDisplayPath("/srv/inbox"), "/srv/inbox");
}

TEST_F(FileReceiveFolderTest, ChoosingStoresAnAbsolutePathAndResetReturnsToTheDefault) {
    EXPECT_FALSE(storeChosenFileReceiveFolder(*defaults, " ~/Inbox/./new/../ "));
    EXPECT_EQ(defaults->string(fileReceiveFolderPathKey), homePath + "/Inbox");
    EXPECT_EQ(fileReceiveFolderDisplayPath(fileReceiveFolderURL(*defaults)), "~/Inbox");

    EXPECT_FALSE(storeChosenFileReceiveFolder(*defaults, "relative"));
    EXPECT_EQ(fileReceiveFolderURL(*defaults), (std::filesystem::current_path() / "relative").string());

    EXPECT_EQ(storeChosenFileReceiveFolder(*defaults, " \n"), std::errc::invalid_argument);
    EXPECT_EQ(fileReceiveFolderURL(*defaults), (std::filesystem::current_path() / "relative").string());

    resetFileReceiveFolder(*defaults);
    EXPECT_FALSE(defaults->string(fileReceiveFolderPathKey));
    EXPECT_EQ(fileReceiveFolderDisplayPath(fileReceiveFolderURL(*defaults)), "~/Downloads/Zentrabo");
}

}  // namespace
}  // namespace zentrabo
