#include "model/records/menu_records.hpp"

#include <gtest/gtest.h>

#include "model/records/halvardine_response.hpp"
#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::decodeGolden;
using testing::decodes;

constexpr std::string_view kSnapshot =
    R"({"application":{"localizedName":"Notes","bundleIdentifier":"com.example.notes","pid":412,"isFrontmost":true},)"
    R"("items":[{"id":"File","title":"File","role":"AXMenuBarItem","enabled":true,"path":["File"],"children":[)"
    R"({"id":"File\u001fExport…","title":"Export…","role":"AXMenuItem","enabled":false,"shortcut":"⇧⌘E",)"
    R"("path":["File","Export…"],"children":[]}]}]})";

TEST(MenuRecords, SnapshotGoldenLine) {
    const auto snapshot = decodeGolden<MenuSnapshot>(kSnapshot);
    EXPECT_EQ(snapshot.application.localizedName, "Notes");
    EXPECT_EQ(snapshot.application.pid, 412);
    ASSERT_EQ(snapshot.items.size(), 1u);
    const MenuNode& item = snapshot.items[0].children.at(0);
    EXPECT_EQ(item.id,
              "File\x1F"
              "Export…");
    EXPECT_FALSE(item.enabled);
    EXPECT_EQ(item.shortcut, "⇧⌘E");
    EXPECT_EQ(item.path, (std::vector<std::string>{"File", "Export…"}));
    EXPECT_TRUE(item.children.empty());
}

TEST(MenuRecords, ApplicationIdentity) {
    HalvardineApplication application{"Notes", "com.example.notes", 77, false};
    EXPECT_EQ(application.id(), "com.example.notes");
    application.bundleIdentifier.reset();
    EXPECT_EQ(application.id(), "pid-77");
    application.bundleIdentifier = "";
    EXPECT_EQ(application.id(), "");
    const auto read = decodeRecord<HalvardineApplication>(
        R"({"localizedName":"X","bundleIdentifier":null,"pid":-1,"isFrontmost":false})");
    EXPECT_EQ(read.id(), "pid--1");
    EXPECT_FALSE(decodes<HalvardineApplication>(R"({"localizedName":"X","pid":2147483648,"isFrontmost":false})"));
}

TEST(MenuRecords, NodeNeedsItsListsAndKnownMatchModes) {
    constexpr std::string_view base = R"("id":"a","title":"a","role":"AXMenuItem","enabled":true)";
    EXPECT_FALSE(decodes<MenuNode>("{" + std::string(base) + R"(,"path":["a"]})"));
    EXPECT_FALSE(decodes<MenuNode>("{" + std::string(base) + R"(,"children":[]})"));
    const auto node = decodeRecord<MenuNode>("{" + std::string(base) + R"(,"shortcut":null,"path":[],"children":[]})");
    EXPECT_FALSE(node.shortcut);
    // One bad element deep inside fails the whole snapshot.
    std::string broken(kSnapshot);
    broken.replace(broken.find(R"("enabled":false)"), 15, R"("enabled":0)");
    EXPECT_FALSE(decodes<MenuSnapshot>(broken));

    MenuTitleMatchMode mode{};
    EXPECT_TRUE(platform::fromRawValue("beginsWith", mode));
    EXPECT_EQ(mode, MenuTitleMatchMode::beginsWith);
    EXPECT_FALSE(platform::fromRawValue("BeginsWith", mode));
}

// A chain of nodes `depth` levels deep; returns the root.
MenuNode chain(std::size_t depth) {
    MenuNode root("0", "0", "AXMenuBarItem", true, std::nullopt, {"0"}, {});
    MenuNode* node = &root;
    for (std::size_t level = 1; level < depth; ++level) {
        node->children.push_back(MenuNode(std::to_string(level), "t", "AXMenuItem", true, std::nullopt, {}, {}));
        node = &node->children.back();
    }
    return root;
}

MenuNode& deepest(MenuNode& root) {
    MenuNode* node = &root;
    while (!node->children.empty()) node = &node->children.back();
    return *node;
}

TEST(MenuRecords, TreesDeeperThan64LevelsAreNeitherReadNorWritten) {
    MenuSnapshot snapshot{HalvardineApplication{"A", std::nullopt, 1, true}, {chain(64)}};
    const std::string json = encodeRecord(snapshot);
    EXPECT_EQ(decodeRecord<MenuSnapshot>(json), snapshot);

    // Inside a reply the deepest allowed tree stays within the document limit.
    HalvardineResponse reply;
    reply.id = "r";
    reply.ok = true;
    reply.snapshot = snapshot;
    EXPECT_EQ(decodeRecord<HalvardineResponse>(encodeRecord(reply)), reply);

    snapshot.items[0] = chain(65);
    EXPECT_THROW(encodeRecord(snapshot), platform::JsonWriteError);
    std::string deeper = json;
    const std::string leaf = R"("children":[])";
    deeper.replace(deeper.rfind(leaf), leaf.size(),
                   R"("children":[{"id":"x","title":"x","role":"r","enabled":true,"path":[],"children":[]}])");
    EXPECT_FALSE(decodes<MenuSnapshot>(deeper));
}

TEST(MenuRecords, DeepTreesAreCopiedComparedHashedAndDestroyedWithoutRecursion) {
    bool copiesEqual = false, hashesEqual = false, changedDiffers = false, changedHashDiffers = false;
    bool assignedEqual = false, reassignedEqual = false;
    testing::runOnSmallStack([&] {
        constexpr std::size_t kDepth = 100'000;
        MenuNode original = chain(kDepth);
        MenuNode copy = original;
        copiesEqual = copy == original;
        hashesEqual = hashValue(copy) == hashValue(original);
        deepest(copy).enabled = false;
        changedDiffers = copy != original;
        changedHashDiffers = hashValue(copy) != hashValue(original);
        MenuNode assigned;
        assigned = original;
        assignedEqual = assigned == original;
        // Replacing a deep tree tears the old one down flat as well.
        assigned = chain(3);
        reassignedEqual = assigned == chain(3);
    });
    EXPECT_TRUE(copiesEqual);
    EXPECT_TRUE(hashesEqual);
    EXPECT_TRUE(changedDiffers);
    EXPECT_TRUE(changedHashDiffers);
    EXPECT_TRUE(assignedEqual);
    EXPECT_TRUE(reassignedEqual);

    // A node may take over its own descendant.
    MenuNode self = chain(5);
    self = std::move(self.children[0]);
    EXPECT_EQ(self.id, "1");
    EXPECT_EQ(deepest(self).id, "4");
}

TEST(MenuRecords, SnapshotsDifferingOnlyDeepDownAreNotEqual) {
    const auto a = decodeRecord<MenuSnapshot>(kSnapshot);
    auto b = a;
    EXPECT_EQ(a, b);
    b.items[0].children[0].enabled = true;
    EXPECT_NE(a, b);
    b = a;
    b.items[0].children[0].shortcut.reset();
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace zentrabo
