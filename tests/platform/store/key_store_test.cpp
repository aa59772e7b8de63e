#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/store/key_store.hpp"
#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::platform {
namespace {

using testing::fileText;

mode_t permissions(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 0777;
}

class KeyStoreTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    KeyStore store;
};

TEST_F(KeyStoreTest, KeysSurviveInAnOwnerOnlyFile) {
    std::optional<EcPrivateKey> found;
    EXPECT_EQ(store.findKey("tag", found), KeyStoreStatus::itemNotFound);
    EXPECT_FALSE(std::filesystem::exists(KeyStore::filePath()));

    const EcPrivateKey key = EcPrivateKey::generate();
    EXPECT_EQ(store.addKey("tag", "label", key), KeyStoreStatus::success);
    EXPECT_EQ(store.addKey("tag", "label", EcPrivateKey::generate()), KeyStoreStatus::duplicateItem);
    ASSERT_EQ(store.findKey("tag", found), KeyStoreStatus::success);
    EXPECT_EQ(found->publicKeyX963(), key.publicKeyX963());

    EXPECT_EQ(KeyStore::filePath(), home.path() / ".local/share/zentrabo/keystore.json");
    EXPECT_EQ(permissions(KeyStore::filePath().parent_path()), 0700u);
    EXPECT_EQ(permissions(KeyStore::filePath()), 0600u);
}

TEST_F(KeyStoreTest, PasswordsAreUpdatedInPlace) {
    const Bytes first{'o', 'n', 'e'};
    const Bytes second{'t', 'w', 'o'};
    Bytes read;
    EXPECT_EQ(store.updatePassword("service", "account", first), KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store.readPassword("service", "account", read), KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store.addPassword("service", "account", first), KeyStoreStatus::success);
    EXPECT_EQ(store.addPassword("service", "account", second), KeyStoreStatus::duplicateItem);
    EXPECT_EQ(store.updatePassword("service", "account", second), KeyStoreStatus::success);
    ASSERT_EQ(store.readPassword("service", "account", read), KeyStoreStatus::success);
    EXPECT_EQ(read, second);
    EXPECT_EQ(store.readPassword("service", "other", read), KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store.deletePassword("service", "account"), KeyStoreStatus::success);
    EXPECT_EQ(store.readPassword("service", "account", read), KeyStoreStatus::itemNotFound);
}

TEST_F(KeyStoreTest, UnreadableFileIsAnErrorAndStaysUntouched) {
    std::filesystem::create_directories(KeyStore::filePath().parent_path());
    for (const std::string& damaged : {
             std::string("{\"version\":1,\"keys\":[{\"tag\":\"t\""),
             std::string("[]"),
             std::string("{\"version\":1,\"keys\":[{\"tag\":\"t\",\"label\":\"l\",\"pkcs8\":\"AAAA\"}]}"),
             std::string("{\"version\":2}"),
             std::string(""),
             std::string(R"({"keys":[]})"),
             std::string(R"({"version":"1"})"),
             std::string(R"({"version":1.5})"),
             std::string(R"({"version":1,"keys":null})"),
             std::string(R"({"version":1,"certificates":{}})"),
             std::string(R"({"version":1,"passwords":[5]})"),
             std::string(R"({"version":1,"passwords":[{"service":"s","account":"a"}]})"),
             std::string(R"({"version":1,"passwords":[{"service":"s","account":null,"data":""}]})"),
             std::string(R"({"version":1,"passwords":[{"service":"s","account":"a","data":"AA E"}]})"),
             std::string(R"({"version":1,"certificates":[{"label":"l","der":"AAAA"}]})"),
         }) {
        { std::ofstream(KeyStore::filePath(), std::ios::binary | std::ios::trunc) << damaged; }
        std::optional<EcPrivateKey> key;
        EXPECT_EQ(store.findKey("t", key), KeyStoreStatus::unreadable);
        EXPECT_EQ(store.addKey("t", "l", EcPrivateKey::generate()), KeyStoreStatus::unreadable);
        EXPECT_EQ(store.addPassword("s", "a", Bytes{1}), KeyStoreStatus::unreadable);
        EXPECT_EQ(fileText(KeyStore::filePath()), damaged);
    }
}

TEST_F(KeyStoreTest, WhatEarlierVersionsToleratedStaysReadable) {
    std::filesystem::create_directories(KeyStore::filePath().parent_path());
    const std::pair<std::string, std::optional<Bytes>> cases[] = {
        {R"({"version":1})", std::nullopt},
        {R"({"version":1.0,"keys":[],"certificates":[]})", std::nullopt},
        {R"({"version":1,"future":[1],"passwords":[{"service":"s","account":"a","data":"AQ==","note":1}]})", Bytes{1}},
        // Of two items with the same address the first counts.
        {R"({"version":1,"passwords":[{"service":"s","account":"a","data":"AA=="},)"
         R"({"service":"s","account":"a","data":"AQ=="}]})",
         Bytes{0}},
    };
    for (const auto& [tolerated, expected] : cases) {
        { std::ofstream(KeyStore::filePath(), std::ios::binary | std::ios::trunc) << tolerated; }
        Bytes read;
        EXPECT_EQ(store.readPassword("s", "a", read), expected ? KeyStoreStatus::success : KeyStoreStatus::itemNotFound)
            << tolerated;
        if (expected) {
            EXPECT_EQ(read, *expected) << tolerated;
        }
        EXPECT_EQ(store.addPassword("t", "a", Bytes{2}), KeyStoreStatus::success) << tolerated;
    }
}

TEST_F(KeyStoreTest, AStoreThatIsNotARegularFileIsRefusedWithoutWaitingOnIt) {
    // Opening a FIFO for reading would wait for a writer that never comes.
    std::filesystem::create_directories(KeyStore::filePath().parent_path());
    ASSERT_EQ(::mkfifo(KeyStore::filePath().c_str(), 0600), 0);
    std::optional<EcPrivateKey> key;
    EXPECT_EQ(store.findKey("t", key), KeyStoreStatus::ioFailure);
    EXPECT_EQ(store.addPassword("s", "a", Bytes{1}), KeyStoreStatus::ioFailure);
    EXPECT_TRUE(std::filesystem::is_fifo(KeyStore::filePath())) << "left as it was";
}

TEST_F(KeyStoreTest, ConcurrentChangesAreNeverLost) {
    constexpr int threadCount = 6;
    constexpr int itemsPerThread = 5;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([this, thread] {
            for (int item = 0; item < itemsPerThread; ++item) {
                const std::string account = std::to_string(thread) + "-" + std::to_string(item);
                EXPECT_EQ(store.addPassword("service", account, bytesOf(account)), KeyStoreStatus::success);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int thread = 0; thread < threadCount; ++thread) {
        for (int item = 0; item < itemsPerThread; ++item) {
            const std::string account = std::to_string(thread) + "-" + std::to_string(item);
            Bytes read;
            ASSERT_EQ(store.readPassword("service", account, read), KeyStoreStatus::success) << account;
            EXPECT_EQ(std::string(read.begin(), read.end()), account);
        }
    }
}

TEST_F(KeyStoreTest, FollowsTheEnvironmentAtEachUse) {
    EXPECT_EQ(store.addPassword("s", "a", Bytes{1}), KeyStoreStatus::success);
    testing::TemporaryHome other;  // redirects HOME and XDG_* again
    Bytes read;
    EXPECT_EQ(store.readPassword("s", "a", read), KeyStoreStatus::itemNotFound);
    EXPECT_EQ(KeyStore::filePath(), other.path() / ".local/share/zentrabo/keystore.json");
}

}  // namespace
}  // namespace zentrabo::platform
