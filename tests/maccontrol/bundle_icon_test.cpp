// A bundle's own icon: the names its information dictionary gives, the files
// a name stands for, and which picture wins, on bundles written by hand.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"
#include "icon_test_support.hpp"
#include "maccontrol/bundle_icon.hpp"
#include "support/icns_files.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAreArray;
using Dictionary = PropertyListValue::Dictionary;
using Array = PropertyListValue::Array;
using Names = std::vector<std::vector<std::string>>;

PropertyListValue dictionary(Dictionary entries) { return PropertyListValue(PropertyListValue::Storage(entries)); }
PropertyListValue array(Array values) { return PropertyListValue(PropertyListValue::Storage(values)); }

TEST(BundleIconTest, NamesComeInThreeListsFromTheIconDictionariesAndTheTopLevel) {
    const struct {
        const char* what;
        Dictionary info;
        Names expected;
    } cases[] = {
        {"every place, in the order A, B, C",
         {{"CFBundleIconFile", "top"},
          {"CFBundleIconName", "named"},
          {"CFBundleIconFiles", array({"a5"})},
          {"CFBundleIcons~ipad",
           dictionary({{"CFBundlePrimaryIcon",
                        dictionary({{"CFBundleIconFiles", array({"a2", "a4"})}, {"CFBundleIconName", "pad"}})}})},
          {"CFBundleIcons",
           dictionary({{"CFBundlePrimaryIcon", dictionary({{"CFBundleIconFiles", array({" a1\n", "a2"})},
                                                           {"CFBundleIconName", "named"},
                                                           {"CFBundleIconFile", "a3"}})}})}},
         {{"a1", "a2", "a3", "a4", "a5"}, {"named", "pad"}, {"top"}}},
        {"an icon dictionary without a primary icon is read itself",
         {{"CFBundleIcons", dictionary({{"CFBundleIconFiles", array({"direct"})}})}},
         {{"direct"}}},
        {"a primary icon that is not a dictionary is passed over",
         {{"CFBundleIcons", dictionary({{"CFBundlePrimaryIcon", "odd"}, {"CFBundleIconName", "beside"}})}},
         {{"beside"}}},
        {"an empty primary icon is read, and gives nothing",
         {{"CFBundleIcons", dictionary({{"CFBundlePrimaryIcon", dictionary({})}, {"CFBundleIconName", "beside"}})}},
         {}},
        {"only strings count, trimmed, blank ones dropped",
         {{"CFBundleIconFile", PropertyListValue(PropertyListValue::Storage(std::int64_t{5}))},
          {"CFBundleIconName", "  "},
          {"CFBundleIconFiles", array({"", PropertyListValue(PropertyListValue::Storage(true)), "kept"})}},
         {{"kept"}}},
        {"the top-level icon file alone", {{"CFBundleIconFile", "App"}}, {{"App"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(iconResourceNames(dictionary(c.info)), c.expected) << c.what;
    }
}

TEST(BundleIconTest, ANameStandsForItsFilesInTheBundlesResourceFolderOnly) {
    TemporaryHome home;
    const auto path = home.root() / "Tool.app";
    test::writeBundle(path, {});
    const auto resources = path / "Contents/Resources";
    for (const char* name : {"Icon", "Icon.icns", "Icon@2x.png", "Icon.png", "Icon-small.png", "Iconic.png",
                             "Other.tiff", "Sub/Deep.png", "../Outside.png"}) {
        test::writeBytes(resources / name, {1});
    }
    const auto bundle = ApplicationBundle::open(path);
    ASSERT_TRUE(bundle);
    const struct {
        std::string name;
        std::vector<std::string> expected;  // relative to the resource folder
    } cases[] = {
        {"Icon", {"Icon", "Icon.icns", "Icon.png", "Icon@2x.png"}},
        {"Icon.png", {"Icon.png"}},
        {"Icon.jpg", {}},
        {"Other", {"Other.tiff"}},
        {"Sub/Deep.png", {"Sub/Deep.png"}},
        {"../Outside.png", {}},
        {"Missing", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::filesystem::path> expected;
        for (const auto& name : c.expected) expected.push_back(resources / name);
        EXPECT_THAT(iconResourceURLs(c.name, *bundle), ElementsAreArray(expected)) << c.name;
    }
}

class HandMadeBundleTest : public ControllerTest {};

TEST_F(HandMadeBundleTest, TheFirstListWithAPictureGivesItsLargestAndIcnsFilesComeLast) {
    constexpr std::uint32_t red = 0xE02020FF, blue = 0x2040E0FF, green = 0x20C040FF;
    start(DesktopBuilder());
    const auto folder = desktop->applicationFolders().at(0);
    const struct {
        const char* what;
        Dictionary info;
        std::vector<std::pair<std::string, RgbaImage>> pictures;
        std::uint32_t expected;
    } cases[] = {
        {"a named icon before the top-level icon file, missing files passed over",
         {{"CFBundleIconFiles", array({"Missing"})},
          {"CFBundleIcons", dictionary({{"CFBundlePrimaryIcon", dictionary({{"CFBundleIconName", "Named"}})}})},
          {"CFBundleIconFile", "Top"}},
         {{"Named.png", RgbaImage(16, 16, red)}, {"Top.png", RgbaImage(64, 64, blue)}},
         red},
        {"the largest of one list",
         {{"CFBundleIconFiles", array({"Small", "Large", "Equal"})}},
         {{"Small.png", RgbaImage(16, 16, red)},
          {"Large.png", RgbaImage(64, 64, blue)},
          {"Equal.png", RgbaImage(64, 64, green)}},
         blue},
        {"a name without an extension finds name@2x.png",
         {{"CFBundleIconFile", "Icon"}},
         {{"Icon@2x.png", RgbaImage(32, 32, green)}},
         green},
        {"without names, the largest .icns file",
         {},
         {{"A.icns", RgbaImage(16, 16, red)}, {"B.icns", RgbaImage(32, 32, blue)}, {"C.png", RgbaImage(99, 99, green)}},
         blue},
    };
    int number = 0;
    for (const auto& c : cases) {
        const std::string identifier = "com.example.hand" + std::to_string(++number);
        const auto path = folder / (identifier + ".app");
        Dictionary info = c.info;
        info.emplace_back("CFBundleIdentifier", identifier);
        test::writeBundle(path, info);
        for (const auto& [name, image] : c.pictures) {
            const bool icns = name.ends_with(".icns");
            test::writeBytes(path / "Contents/Resources" / name,
                             icns ? test::icnsFile({test::pngEntry("ic07", image)}) : encodePng(image));
        }
        const auto icons = controller->applicationIcons({identifier});
        ASSERT_EQ(icons.size(), 1u) << c.what;
        test::expectColour(icons[0].pngData, 48, 48, c.expected, c.what);
    }
}

}  // namespace
}  // namespace zentrabo
