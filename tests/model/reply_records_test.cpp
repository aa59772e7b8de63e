// Application, window, modal, display, image, transferred-file and file
// records.
#include <gtest/gtest.h>

#include <limits>

#include "model/records/application_records.hpp"
#include "model/records/display_records.hpp"
#include "model/records/file_records.hpp"
#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::canonicalJson;
using testing::decodeGolden;
using testing::decodes;

TEST(ReplyRecords, ApplicationGoldenLines) {
    const auto info = decodeGolden<RemoteApplicationInfo>(
        R"({"localizedName":"Notes","bundleIdentifier":"com.example.notes","isRunning":true,"isFrontmost":false,)"
        R"("iconPNGData":"iVBORw0KGgo="})");
    EXPECT_EQ(info.id(), "com.example.notes");
    EXPECT_EQ(info.iconPNGData, (Data{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_FALSE(decodeRecord<RemoteApplicationInfo>(
                     R"({"localizedName":"N","bundleIdentifier":"b","isRunning":true,"isFrontmost":false})")
                     .iconPNGData);
    EXPECT_FALSE(decodes<RemoteApplicationInfo>(
        R"({"localizedName":"N","bundleIdentifier":"b","isRunning":true,"isFrontmost":false,"iconPNGData":"iVBORw0KGgo"})"));

    const auto icon = decodeGolden<RemoteApplicationIcon>(R"({"bundleIdentifier":"b","pngData":"","pixelSize":128})");
    EXPECT_EQ(icon.id(), "b");
    EXPECT_TRUE(icon.pngData.empty());
    EXPECT_EQ(
        decodeRecord<RemoteApplicationIcon>(R"({"bundleIdentifier":"b","pngData":"","pixelSize":96.0})").pixelSize, 96);
    EXPECT_FALSE(decodes<RemoteApplicationIcon>(R"({"bundleIdentifier":"b","pngData":"","pixelSize":96.5})"));

    const auto recovery =
        decodeGolden<RemoteApplicationRecovery>(R"({"localizedName":"Notes","bundleIdentifier":"com.example.notes"})");
    EXPECT_EQ(recovery.id(), "com.example.notes");
}

TEST(ReplyRecords, WindowIdentityIsThePlainDecimalNumber) {
    const auto window = decodeGolden<RemoteApplicationWindowInfo>(
        R"({"windowID":412,"title":"Untitled","isMinimized":false,"isOnScreen":true})");
    EXPECT_EQ(window.id(), "412");
    EXPECT_EQ((RemoteApplicationWindowInfo{0, "", false, false}.id()), "0");
    EXPECT_EQ((RemoteApplicationWindowInfo{4294967295u, "", false, false}.id()), "4294967295");
    EXPECT_FALSE(
        decodes<RemoteApplicationWindowInfo>(R"({"windowID":-1,"title":"","isMinimized":false,"isOnScreen":true})"));
}

TEST(ReplyRecords, ModalDisplayTitleAndRequiredButtons) {
    const auto modal = decodeGolden<RemoteModalInfo>(
        R"({"title":"","role":"AXSheet","subrole":"AXDialog","message":"Save changes?","buttonTitles":["Save","Cancel"]})");
    EXPECT_EQ(modal.displayTitle(), "Save changes?");
    RemoteModalInfo bare{std::nullopt, "AXWindow", std::nullopt, std::nullopt, {}};
    EXPECT_EQ(bare.displayTitle(), "AXWindow");
    bare.title = "  ";
    EXPECT_EQ(bare.displayTitle(), "  ");
    EXPECT_FALSE(decodes<RemoteModalInfo>(R"({"role":"AXSheet"})"));
    EXPECT_TRUE(decodeRecord<RemoteModalInfo>(R"({"role":"AXSheet","buttonTitles":[]})").buttonTitles.empty());
}

TEST(ReplyRecords, DisplayIdentityAndPresets) {
    auto display = decodeGolden<RemoteDisplayInfo>(
        R"({"displayID":5,"name":"Studio","isMain":true,"pixelWidth":5120,"pixelHeight":2880,)"
        R"("frameX":-1728.5,"frameY":0,"frameWidth":2560,"frameHeight":1440})");
    EXPECT_EQ(display.id(), "display-5");
    display.capturesAllDisplays = false;
    EXPECT_EQ(display.id(), "display-5");
    display.capturesAllDisplays = true;
    EXPECT_EQ(display.id(), "all");
    display.capturesAllDisplays.reset();
    display.displayID.reset();
    EXPECT_EQ(display.id(), "main");

    EXPECT_EQ(RemoteDisplayInfo::mainDisplay().id(), "main");
    EXPECT_EQ(RemoteDisplayInfo::allDisplays().id(), "all");
    EXPECT_EQ(canonicalJson(encodeRecord(RemoteDisplayInfo::mainDisplay())),
              canonicalJson(R"({"name":"Main Monitor","isMain":true,"pixelWidth":0,"pixelHeight":0})"));
    EXPECT_EQ(canonicalJson(encodeRecord(RemoteDisplayInfo::allDisplays())),
              canonicalJson(R"({"name":"All Monitors","isMain":false,"pixelWidth":0,"pixelHeight":0,)"
                            R"("capturesAllDisplays":true})"));

    EXPECT_FALSE(decodes<RemoteDisplayInfo>(
        R"({"displayID":4294967296,"name":"x","isMain":true,"pixelWidth":1,"pixelHeight":1})"));
    display.frameX = std::numeric_limits<double>::infinity();
    EXPECT_THROW(encodeRecord(display), platform::JsonWriteError);
}

TEST(ReplyRecords, ImagesAndTransferredFiles) {
    const auto shot = decodeGolden<RemoteScreenshot>(
        R"({"id":"display-1","title":"Studio","filename":"Studio.jpg","contentType":"public.jpeg","data":"/9j/4A=="})");
    EXPECT_EQ(shot.data, (Data{0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_FALSE(decodes<RemoteScreenshot>(R"({"id":"a","title":"b","filename":"c","contentType":"d"})"));

    const auto wallpaper =
        decodeGolden<RemoteDisplayWallpaper>(R"({"id":"w","filename":"w.jpg","contentType":"public.jpeg","data":""})");
    EXPECT_FALSE(wallpaper.displayID);
    EXPECT_FALSE(wallpaper.displayName);

    const auto file = decodeGolden<RemoteTransferredFile>(
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","title":"","filename":"a.pdf","path":"/home/u/a.pdf"})");
    EXPECT_EQ(file.title, "");
}

TEST(ReplyRecords, FileEntriesAndResources) {
    const auto entry = decodeGolden<RemoteFileEntry>(
        R"({"name":"a.txt","path":"/u/a.txt","isDirectory":false,"isPackage":false,"contentType":"public.plain-text",)"
        R"("size":12,"modificationDate":786297600.25})");
    EXPECT_EQ(entry.id(), "/u/a.txt");
    EXPECT_EQ(entry.modificationDate->secondsSinceReferenceDate, 786297600.25);
    EXPECT_FALSE(decodes<RemoteFileEntry>(R"({"name":"a","path":"/a","isDirectory":false})"));
    const auto sizeless =
        decodeRecord<RemoteFileEntry>(R"({"name":"a","path":"/a","isDirectory":true,"isPackage":false})");
    EXPECT_FALSE(sizeless.size);
    auto later = entry;
    later.modificationDate = platform::Date{1};
    EXPECT_EQ(later.id(), entry.id());
    EXPECT_NE(later, entry);

    const auto folder =
        decodeGolden<RemoteFileResource>(R"({"kind":"directory","name":"Home","path":"/u","entries":[]})");
    ASSERT_TRUE(folder.entries);
    EXPECT_TRUE(folder.entries->empty());
    EXPECT_NE(encodeRecord(folder).find(R"("entries":[])"), std::string::npos);
    EXPECT_FALSE(decodeRecord<RemoteFileResource>(R"({"kind":"directory","name":"Home","path":"/u"})").entries);
    EXPECT_FALSE(decodes<RemoteFileResource>(R"({"kind":"folder","name":"Home","path":"/u"})"));

    const auto empty = decodeGolden<RemoteFileResource>(
        R"({"kind":"file","name":"e","path":"/u/e","parentPath":"/u","size":0,"data":""})");
    ASSERT_TRUE(empty.data);
    EXPECT_TRUE(empty.data->empty());
    EXPECT_NE(encodeRecord(empty).find(R"("data":"")"), std::string::npos);
}

}  // namespace
}  // namespace zentrabo
