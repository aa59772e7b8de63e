// Installed applications as bundle folders, and the login item.
#include <gmock/gmock.h>

#include <fstream>

#include "desktop_fixture.hpp"
#include "platform/desktop/application_bundle.hpp"
#include "platform/desktop/virtual/bundle_materializer.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/files/product_identity.hpp"
#include "platform/files/xdg_folders.hpp"
#include "platform/imaging/png_codec.hpp"
#include "support/scoped_environment.hpp"

namespace zentrabo::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class BundlesTest : public DesktopTest {};

TEST_F(BundlesTest, InstalledApplicationsBecomeBundleFoldersInTheVirtualFolders) {
    DesktopBuilder builder;
    builder.application("Calculator", "com.example.calculator").installedIn(ApplicationFolder::system, "Utilities");
    builder.application("Mine", "com.example.mine").installedIn(ApplicationFolder::user).displayName("My App");
    builder.application("Ghost", "com.example.ghost").notInstalled();
    start(builder);

    const auto folders = desktop->applicationFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], home.root() / "data/zentrabo/virtual-desktop/Applications");
    EXPECT_THAT(findApplicationBundles(folders),
                ElementsAre(folders[0] / "Utilities/Calculator.app", folders[1] / "Mine.app"));

    const auto mine = ApplicationBundle::open(folders[1] / "Mine.app");
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->bundleIdentifier(), "com.example.mine");
    EXPECT_EQ(*mine->infoValue("CFBundleDisplayName")->string(), "My App");
    const auto icon = mine->resourcePath("AppIcon", "png");
    ASSERT_TRUE(icon);
    const auto png = readFile(*icon);
    EXPECT_EQ(decodePng(std::span(reinterpret_cast<const std::uint8_t*>(png.data()), png.size())).width, 128u);

    EXPECT_EQ(desktop->urlForApplication("com.example.mine"), folders[1] / "Mine.app");
    EXPECT_EQ(desktop->urlForApplication("com.example.ghost"), std::nullopt);
}

TEST_F(BundlesTest, ALaterScenarioReplacesTheBundlesOfAnEarlierOneButNotHandMadeOnes) {
    DesktopBuilder first;
    first.application("Old", "com.example.old");
    start(first);
    const auto folder = desktop->applicationFolders()[0];
    std::filesystem::create_directories(folder / "Manual.app/Contents");
    writePropertyListFile(folder / "Manual.app/Contents/Info.plist",
                          PropertyListValue(PropertyListValue::Storage(
                              PropertyListValue::Dictionary{{"CFBundleIdentifier", "com.example.manual"}})));
    desktop.reset();

    DesktopBuilder second;
    second.application("New", "com.example.new");
    start(second);
    EXPECT_THAT(findApplicationBundles({folder}), ElementsAre(folder / "Manual.app", folder / "New.app"));

    // A hand-made bundle launches even though no scenario describes it.
    EXPECT_TRUE(desktop->openApplication(folder / "Manual.app", true).ok);
    clock.runLoopTurn(5);
    ASSERT_NE(running("com.example.manual"), nullptr);
    EXPECT_EQ(running("com.example.manual")->bundleURL(), folder / "Manual.app");
    EXPECT_FALSE(desktop->openApplication(folder / "Missing.app", true).ok);
}

TEST(PropertyListTest, RefusesMalformedAndOverlyDeepFiles) {
    TemporaryHome home;
    const auto path = home.root() / "broken.plist";
    std::ofstream(path) << "<plist><dict><key>A</key>";
    EXPECT_FALSE(readPropertyListFile(path));

    PropertyListValue deep("leaf");
    for (int level = 0; level <= PropertyListValue::maximumDepth; ++level) {
        deep = PropertyListValue(PropertyListValue::Storage(PropertyListValue::Array{deep}));
    }
    writePropertyListFile(path, deep);
    EXPECT_FALSE(readPropertyListFile(path));
}

TEST(PropertyListTest, DatesCountFromTheReferenceDateAndReadBackEqual) {
    TemporaryHome home;
    const auto path = home.root() / "dated.plist";
    const PropertyListValue value(PropertyListValue::Storage(PropertyListValue::Dictionary{
        {"Modified", PropertyListValue(PropertyListValue::Storage(Date{800000000}))},
        {"Before", PropertyListValue(PropertyListValue::Storage(Date{-86400}))},
    }));
    writePropertyListFile(path, value);
    const std::string text = readFile(path);
    EXPECT_THAT(text, HasSubstr("<date>2026-05-09T06:13:20Z</date>"));
    EXPECT_THAT(text, HasSubstr("<date>2000-12-31T00:00:00Z</date>"));
    EXPECT_EQ(readPropertyListFile(path), value);
}

TEST(LoginItemTest, RegistersReportsAndRemovesTheAutostartEntry) {
    TemporaryHome home;
    const auto program = home.root() / "bin dir" / "zentrabo-server";
    std::filesystem::create_directories(program.parent_path());
    std::ofstream(program) << "";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    XdgAutostartLoginItem item(program);
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);

    item.registerItem();
    const auto entry = home.root() / "config/autostart/zentrabo-server.desktop";
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), entry);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    const auto text = readFile(entry);
    EXPECT_THAT(text, HasSubstr("[Desktop Entry]\nType=Application\n"));
    EXPECT_THAT(text, HasSubstr("Exec=\"" + program.string() + "\"\n"));

    std::filesystem::remove(program);
    EXPECT_EQ(item.status(), LoginItemStatus::notFound);
    EXPECT_THROW(item.registerItem(), LoginItemError);

    item.unregisterItem();
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_NO_THROW(item.unregisterItem());
}

TEST(LoginItemTest, AnEntrySwitchedOffIsNotRegisteredAndSpecialCharactersAreEscaped) {
    TemporaryHome home;
    const auto program = home.root() / "a\"b$c\\d%e";
    std::ofstream(program) << "";
    XdgAutostartLoginItem item(program);
    item.registerItem();
    EXPECT_THAT(readFile(XdgAutostartLoginItem::entryPath()),
                HasSubstr("Exec=\"" + home.root().string() + "/a\\\\\"b\\\\$c\\\\\\\\d%%e\"\n"));

    std::ofstream(XdgAutostartLoginItem::entryPath(), std::ios::app) << "Hidden=true\n";
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
}

TEST(LoginItemTest, TheEntrysExecDecidesWhetherItStartsThisServer) {
    TemporaryHome home;
    // An executable file of the given name under the home.
    const auto program = [&home](const std::string& name, std::filesystem::perms permissions) {
        const auto path = home.root() / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\n";
        std::filesystem::permissions(path, permissions);
        return path;
    };
    const auto executable = std::filesystem::perms::owner_all;
    const auto self = program("new/zentrabo-server", executable);
    const auto old = program("old/zentrabo-server", executable);
    const auto folders = [&home](std::initializer_list<const char*> names) {
        std::string path = "/nonexistent";
        for (const char* name : names) path += ":" + (home.root() / name).string();
        return path;
    };
    struct Case {
        std::string name;
        std::filesystem::path entryProgram;  // the program its Exec starts
        LoginItemStatus status;              // as this server reads it
        bool other;                          // the entry's program is named as another's
        std::string path = "";               // $PATH meanwhile, when it matters
        std::filesystem::path named = {};    // the name given to it, when not entryProgram
    };
    const std::vector<Case> cases{
        {"this server", self, LoginItemStatus::enabled, false},
        {"another copy", old, LoginItemStatus::notRegistered, true},
        {"a copy since deleted", home.root() / "gone/zentrabo-server", LoginItemStatus::notFound, true},
        {"a file that does not execute", program("plain/zentrabo-server", std::filesystem::perms::owner_read),
         LoginItemStatus::notFound, true},
        {"a path through a dot-dot", home.root() / "new/../new/zentrabo-server", LoginItemStatus::enabled, false},
        // A bare name is looked up in $PATH, as the session does.
        {"a bare name found as this server", "zentrabo-server", LoginItemStatus::enabled, false,
         folders({"plain", "new", "old"})},
        {"a bare name found as another copy first", "zentrabo-server", LoginItemStatus::notRegistered, true,
         folders({"old", "new"}), old},
        {"a bare name found nowhere", "zentrabo-server", LoginItemStatus::notFound, true, folders({"gone", "plain"})},
        {"a relative path", "new/zentrabo-server", LoginItemStatus::notFound, true},
    };
    XdgAutostartLoginItem item(self, {"--desktop", "x11"});
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        zentrabo::testing::ScopedEnvironment path({{"PATH", test.path.empty() ? "/nonexistent" : test.path}});
        // The entry as that program's own item writes it.
        std::filesystem::create_directories(XdgAutostartLoginItem::entryPath().parent_path());
        std::ofstream(XdgAutostartLoginItem::entryPath())
            << "[Desktop Entry]\nType=Application\nExec=\"" << test.entryProgram.string() << "\" --desktop x11\n";
        EXPECT_EQ(item.status(), test.status);
        const auto named = test.named.empty() ? test.entryProgram : test.named;
        EXPECT_EQ(item.otherProgram(), test.other ? std::optional(named.string()) : std::nullopt);
    }

    // Registering replaces another's entry with one that starts this server
    // on the desktop it was asked for.
    item.registerItem();
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_THAT(readFile(XdgAutostartLoginItem::entryPath()),
                HasSubstr("\nExec=\"" + self.string() + "\" --desktop x11\n"));
    EXPECT_EQ(item.registrationNote(), std::nullopt);
    std::ofstream(home.root() / "new/CMakeCache.txt") << "";
    EXPECT_THAT(item.registrationNote().value_or(""), HasSubstr("inside the build folder"));
}

TEST(ProductIdentityTest, EveryNameTheLayerWritesComesFromTheIdentityGiven) {
    TemporaryHome home;
    setProductIdentity({.folderName = "acme",
                        .programName = "acme-agent",
                        .displayName = "Acme Agent",
                        .description = "Runs errands",
                        .demoBundleIdentifierPrefix = "org.acme.sample.",
                        .selectionPropertyName = "ACME_SELECTION",
                        .shellExtensionUUID = "windows@acme.org",
                        .shellExtensionInterface = "org.acme.Windows"});
    EXPECT_EQ(configFolder(), home.root() / "config/acme");
    EXPECT_EQ(dataFolder(), home.root() / "data/acme");
    EXPECT_EQ(desktopScenarioPath(), home.root() / "config/acme/virtual-desktop.json");
    EXPECT_EQ(virtualApplicationFolders().at(1), home.root() / "data/acme/virtual-desktop/Home/Applications");

    const auto program = home.root() / "agent";
    std::ofstream(program) << "";
    XdgAutostartLoginItem(program).registerItem();
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), home.root() / "config/autostart/acme-agent.desktop");
    EXPECT_THAT(readFile(XdgAutostartLoginItem::entryPath()), HasSubstr("\nName=Acme Agent\nComment=Runs errands\n"));

    const auto scenario = defaultDesktopScenario();
    ASSERT_FALSE(scenario.applications.empty());
    for (const auto& application : scenario.applications) {
        EXPECT_TRUE(application.bundleIdentifier.starts_with("org.acme.sample.")) << application.bundleIdentifier;
    }
    zentrabo::testing::useServerIdentity();
}

}  // namespace
}  // namespace zentrabo::platform

namespace zentrabo::platform {
namespace {

TEST(BundleScanTest, FindsBundlesInSubfoldersButNotInsideBundlesHiddenEntriesOrOtherCases) {
    TemporaryHome home;
    const auto folder = home.root() / "Applications";
    for (const char* path : {"Tools/Deep/Editor.app/Contents/Helpers/Helper.app", "Upper.APP", ".Hidden.app",
                             "Visible.app", ".git/Inside.app"}) {
        std::filesystem::create_directories(folder / path);
    }
    EXPECT_THAT(findApplicationBundles({folder, home.root() / "missing"}),
                ElementsAre(folder / "Tools/Deep/Editor.app", folder / "Visible.app"));
}

TEST(BundleScanTest, ResourcesOfOneExtensionAreListedByFileName) {
    TemporaryHome home;
    const auto resources = home.root() / "Tool.app/Contents/Resources";
    std::filesystem::create_directories(resources / "Folder.png");
    for (const char* name : {"b.png", "a@2x.png", "a.png", "c.PNG", "d.png.txt", "Z.png"}) {
        std::ofstream(resources / name) << "x";
    }
    const auto bundle = ApplicationBundle::open(home.root() / "Tool.app");
    ASSERT_TRUE(bundle);
    EXPECT_THAT(bundle->resourcePaths("png"),
                ElementsAre(resources / "Z.png", resources / "a.png", resources / "a@2x.png", resources / "b.png"));
    EXPECT_THAT(bundle->resourcePaths("icns"), ElementsAre());
}

}  // namespace
}  // namespace zentrabo::platform
