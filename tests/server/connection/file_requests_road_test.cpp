// Folder listings and files fetched by a device over the real listener.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "loopback_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using Channel = HalvardineExtraAuthorizationChannel;
using Scope = HalvardineExtraAuthorizationScope;

std::vector<std::string> entryNames(const RemoteFileResource& resource) {
    std::vector<std::string> names;
    for (const auto& entry : resource.entries.value_or(std::vector<RemoteFileEntry>{})) names.push_back(entry.name);
    return names;
}

// Every byte value, in a file larger than any single read or TLS record, so
// the reply must be reassembled and its Base64 must survive the wire.
Data binaryContent() {
    Data bytes(3 * 1024 * 1024 + 7);
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        bytes[index] = static_cast<std::uint8_t>((index * 31 + index / 256) & 0xFF);
    }
    return bytes;
}

class FileRequestsRoadTest : public LoopbackServerTest {
protected:
    void SetUp() override {
        LoopbackServerTest::SetUp();
        if (HasFatalFailure()) return;
        fs::create_directories(folder / "Sub");
        std::ofstream(folder / "File10.txt") << "ten bytes!";
        std::ofstream(folder / "File2.txt") << "2!";
        std::ofstream(folder / ".hidden") << "h";
        std::ofstream(folder / "photo.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }

    static HalvardineRequest fileRequest(std::string id, const fs::path& path) {
        HalvardineRequest request = deviceRequest(std::move(id), "fileResource");
        request.filePath = path.string();
        return request;
    }

    // Protects the files scope of one channel behind a password.
    void protectFiles(Channel channel) {
        bool passwordSet = false;
        server->extraAuthorization().updatePassword(std::nullopt, "secret",
                                                    [&](std::exception_ptr error) { passwordSet = !error; });
        ASSERT_TRUE(runMainLoopUntil([&] { return passwordSet; }));
        server->extraAuthorization().setScope(Scope::files, true, channel);
    }

    fs::path folder = home.path() / "Shared Files";
    Data content = binaryContent();
};

TEST_F(FileRequestsRoadTest, PairedDeviceListsAFolderInTheOrderItAsksAndFetchesAFileWhole) {
    pairThisClient();

    // No sort fields: by name, numbers by value, hidden files left out.
    const auto listing = send(fileRequest("F-1", folder));
    ASSERT_TRUE(listing.ok) << listing.error.value_or("");
    EXPECT_EQ(listing.id, "F-1");
    ASSERT_TRUE(listing.fileResource);
    EXPECT_EQ(listing.fileResource->kind, RemoteFileResourceKind::directory);
    EXPECT_EQ(listing.fileResource->name, "Shared Files");
    EXPECT_EQ(listing.fileResource->path, folder.string());
    EXPECT_EQ(listing.fileResource->parentPath, home.path().string());
    EXPECT_FALSE(listing.fileResource->data);
    EXPECT_THAT(entryNames(*listing.fileResource), ElementsAre("File2.txt", "File10.txt", "photo.bin", "Sub"));
    EXPECT_TRUE(listing.fileResource->entries->back().isDirectory);
    EXPECT_EQ(listing.fileResource->entries->at(2).size, static_cast<std::int64_t>(content.size()));

    // The request's sort and hidden-file fields reach the listing.
    auto bySize = fileRequest("F-2", folder);
    bySize.fileSortField = RemoteFileSortField::size;
    bySize.fileSortDirection = RemoteFileSortDirection::descending;
    bySize.includesHiddenFiles = true;
    const auto sized = send(bySize);
    ASSERT_TRUE(sized.fileResource);
    EXPECT_THAT(entryNames(*sized.fileResource), ElementsAre("Sub", "photo.bin", "File10.txt", "File2.txt", ".hidden"));

    // A file comes with every byte unless the device declines the data.
    const auto file = send(fileRequest("F-3", folder / "photo.bin"));
    ASSERT_TRUE(file.ok) << file.error.value_or("");
    ASSERT_TRUE(file.fileResource);
    EXPECT_EQ(file.fileResource->kind, RemoteFileResourceKind::file);
    EXPECT_EQ(file.fileResource->name, "photo.bin");
    EXPECT_EQ(file.fileResource->parentPath, folder.string());
    EXPECT_EQ(file.fileResource->size, static_cast<std::int64_t>(content.size()));
    EXPECT_TRUE(file.fileResource->data == content) << "the file's bytes changed on the way";

    auto withoutData = fileRequest("F-4", folder / "File10.txt");
    withoutData.includesFileData = false;
    const auto described = send(withoutData);
    ASSERT_TRUE(described.fileResource);
    EXPECT_FALSE(described.fileResource->data);
    EXPECT_EQ(described.fileResource->size, 10);

    const auto missing = send(fileRequest("F-5", folder / "gone"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.errorCode, HalvardineErrorCode::fileBrowserPathUnavailable);
    EXPECT_EQ(missing.error, "The path is not available: " + (folder / "gone").string());
}

TEST_F(FileRequestsRoadTest, ProtectedFilesNeedATokenOnTheirOwnChannelOnly) {
    pairThisClient();
    // Protection on the relay channel leaves a local device alone.
    protectFiles(Channel::relay);
    if (HasFatalFailure()) return;
    const auto open = send(fileRequest("P-1", folder));
    EXPECT_TRUE(open.ok) << open.error.value_or("");
    EXPECT_TRUE(open.fileResource);

    server->extraAuthorization().setScope(Scope::files, true, Channel::local);
    const auto refused = send(fileRequest("P-2", folder / "photo.bin"));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Extra authorization required.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(refused.extraAuthorizationScope, Scope::files);
    EXPECT_FALSE(refused.fileResource);

    // A device that is not paired is refused before the scope is looked at.
    server->authorization().revokePairedDevice(security().loadOrCreateIdentity(false).fingerprint);
    const auto stranger = send(fileRequest("P-3", folder));
    EXPECT_EQ(stranger.errorCode, HalvardineErrorCode::notAuthorized);
    EXPECT_FALSE(stranger.extraAuthorizationScope);
}

}  // namespace
}  // namespace zentrabo::testing
