// The list of running and installed applications.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"
#include "platform/desktop/property_list.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;

// A bundle folder written by hand, as an installer would leave it.
void writeBundle(const std::filesystem::path& path, PropertyListValue::Dictionary info) {
    std::filesystem::create_directories(path / "Contents");
    writePropertyListFile(path / "Contents" / "Info.plist",
                          PropertyListValue(PropertyListValue::Storage(std::move(info))));
}

std::string describe(const RemoteApplicationInfo& info) {
    return info.localizedName + " (" + info.bundleIdentifier + ")" + (info.isRunning ? " running" : "") +
           (info.isFrontmost ? " frontmost" : "");
}

class ApplicationListsTest : public ControllerTest {
protected:
    std::vector<std::string> listed() {
        std::vector<std::string> texts;
        for (const auto& info : controller->applications()) {
            EXPECT_FALSE(info.iconPNGData);
            texts.push_back(describe(info));
        }
        return texts;
    }

    std::filesystem::path systemFolder() { return desktop->applicationFolders().at(0); }
    std::filesystem::path userFolder() { return desktop->applicationFolders().at(1); }
};

TEST_F(ApplicationListsTest, RunningApplicationsWinAndTheListIsSortedByNameIgnoringCase) {
    DesktopBuilder builder;
    builder.application("zebra", "com.example.zebra").displayName("Zebra Installed");
    builder.application("Alpha", "com.example.alpha").notRunning();
    builder.application("beta", "com.example.beta").notRunning().installedIn(ApplicationFolder::user);
    builder.application("Agent", "com.example.agent").policy(ActivationPolicy::accessory);
    builder.application("Ghost", "com.example.ghost").policy(ActivationPolicy::accessory).notInstalled();
    builder.application("Mail 10", "com.example.mail10")
        .notRunning()
        .installedIn(ApplicationFolder::system, "Utilities");
    builder.application("Mail 9", "com.example.mail9").notRunning();
    builder.frontmost("com.example.zebra");
    start(builder);

    // Digits compare as characters here: this is no file-name order.
    EXPECT_THAT(listed(), ElementsAre("Agent (com.example.agent)", "Alpha (com.example.alpha)",
                                      "beta (com.example.beta)", "Mail 10 (com.example.mail10)",
                                      "Mail 9 (com.example.mail9)", "zebra (com.example.zebra) running frontmost"));
}

TEST_F(ApplicationListsTest, InstalledBundlesAreFoundOnceByTheirOwnRules) {
    DesktopBuilder builder;
    builder.application("Front", "com.example.front");
    start(builder);
    writeBundle(systemFolder() / "Shared.app",
                {{"CFBundleIdentifier", "com.example.shared"}, {"CFBundleName", "Shared"}});
    writeBundle(userFolder() / "Shared Copy.app",
                {{"CFBundleIdentifier", "com.example.shared"}, {"CFBundleName", "Shared Copy"}});
    writeBundle(systemFolder() / "Plain.app", {{"CFBundleIdentifier", "com.example.plain"}});
    writeBundle(systemFolder() / "Blank.app",
                {{"CFBundleIdentifier", "com.example.blank"}, {"CFBundleDisplayName", ""}, {"CFBundleName", "Blank"}});
    writeBundle(systemFolder() / "Shouting.APP", {{"CFBundleIdentifier", "com.example.shouting"}});
    writeBundle(systemFolder() / "Host.app" / "Contents" / "Helpers" / "Inner.app",
                {{"CFBundleIdentifier", "com.example.inner"}});
    writeBundle(systemFolder() / ".Hidden.app", {{"CFBundleIdentifier", "com.example.hidden"}});
    writeBundle(systemFolder() / "Anonymous.app", {{"CFBundleName", "Anonymous"}});

    EXPECT_THAT(listed(), ElementsAre(" (com.example.blank)", "Front (com.example.front) running frontmost",
                                      "Plain (com.example.plain)", "Shared (com.example.shared)"));
}

TEST_F(ApplicationListsTest, MissingFoldersGiveAnEmptyList) {
    DesktopBuilder builder;
    builder.application("Agent", "com.example.agent").policy(ActivationPolicy::prohibited).notInstalled();
    start(builder);
    std::filesystem::remove_all(systemFolder());
    std::filesystem::remove_all(userFolder());
    EXPECT_TRUE(controller->applications().empty());
}

TEST_F(ApplicationListsTest, ASnapshotNamesItsApplicationEvenWithoutAName) {
    DesktopBuilder builder;
    builder.application("Front", "com.example.front");
    start(builder);
    const auto record = DesktopController::snapshotApplication(*running("com.example.front"));
    EXPECT_EQ(record.localizedName, "Front");
    EXPECT_TRUE(record.isFrontmost);

    struct Nameless : RunningApplication {
        ProcessID processIdentifier() const override { return 812; }
        std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
        std::optional<std::string> localizedName() const override { return std::nullopt; }
        std::optional<std::filesystem::path> bundleURL() const override { return std::nullopt; }
        ActivationPolicy activationPolicy() const override { return ActivationPolicy::regular; }
        bool isActive() const override { return false; }
        bool isHidden() const override { return false; }
        bool isTerminated() const override { return false; }
        std::optional<RgbaImage> icon() const override { return std::nullopt; }
        bool activate(bool) override { return false; }
        bool unhide() override { return false; }
        bool terminate() override { return false; }
        bool forceTerminate() override { return false; }
    };
    const auto nameless = DesktopController::snapshotApplication(Nameless{});
    EXPECT_EQ(nameless.localizedName, "App 812");
    EXPECT_FALSE(nameless.bundleIdentifier);
}

}  // namespace
}  // namespace zentrabo
