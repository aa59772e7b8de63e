// Another clipboard owner that stalls or offers too much: the pasteboard's
// reading of it ends by one deadline for all its types, and keeps no more
// than the total cap, the first types in the owner's order. Each case runs
// on an X server of its own, so the stalls hold up no other test's session,
// with a clipboard owner of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/desktop/x11/x11_pasteboard.hpp"
#include "x11/own_x_server.hpp"
#include "x11/scripted_clipboard_owner.hpp"

namespace zentrabo::testing {
namespace {

using platform::X11Pasteboard;
using namespace std::chrono_literals;

TEST(ClipboardHostileOwnerTest, AStalledOwnerHoldsTheWholeReadingOnlyUntilTheDeadline) {
    for (const StalledOwner& stalled : stalledOwners) {
        SCOPED_TRACE(stalled.name);
        OwnXServer server;
        ASSERT_FALSE(server.name().empty());
        X11Pasteboard pasteboard(server.name());
        ScriptedClipboardOwner owner(server.name(), offeredTargets(stalled.targets, stalled.size), stalled.answer);
        const auto start = std::chrono::steady_clock::now();
        const auto items = pasteboard.items();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(items.empty());
        EXPECT_LT(took, X11Pasteboard::transferDeadline + 1s);
        EXPECT_EQ(pasteboard.typesLeftOut().late.size(), static_cast<std::size_t>(stalled.targets));
    }
}

TEST(ClipboardHostileOwnerTest, TheFirstTypesAreKeptUpToTheTotalCap) {
    OwnXServer server;
    ASSERT_FALSE(server.name().empty());
    X11Pasteboard pasteboard(server.name());
    constexpr std::size_t typeSize = 15 * 1024 * 1024;
    constexpr int offered = 22;
    ScriptedClipboardOwner owner(server.name(), offeredTargets(offered, typeSize), OwnerAnswer::whole);
    const auto items = pasteboard.items();
    ASSERT_EQ(items.size(), 1u);
    const std::size_t fitting = X11Pasteboard::maximumTotalSize / typeSize;
    ASSERT_EQ(items.front().representations.size(), fitting);
    for (std::size_t index = 0; index < fitting; ++index) {
        const auto& [type, data] = items.front().representations[index];
        EXPECT_EQ(type, "application/x-offered-" + std::to_string(index));
        EXPECT_EQ(data.size(), typeSize);
    }
    const auto leftOut = pasteboard.typesLeftOut();
    EXPECT_EQ(leftOut.pastTotal.size(), offered - fitting);
    EXPECT_TRUE(leftOut.tooLarge.empty());
    EXPECT_TRUE(leftOut.late.empty());
}

}  // namespace
}  // namespace zentrabo::testing
