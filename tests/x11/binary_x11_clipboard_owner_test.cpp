// A paste on a display stream of the built binary (--desktop x11) while
// another program owns the clipboard and stalls or offers too much: the paste
// answers within the reading's one deadline, another device's request waits
// no longer than the paste, and what the paste keeps of the owner's types
// stays within the total cap, the first types restored, and what is lost is
// logged. One server on an X server of the test's own, so the stalls hold up
// no other test's session.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>

#include "app/binary_harness.hpp"
#include "platform/desktop/x11/x11_pasteboard.hpp"
#include "platform/desktop/pasteboard.hpp"
#include "support/device_request.hpp"
#include "support/stream_client.hpp"
#include "x11/own_x_server.hpp"
#include "x11/scripted_clipboard_owner.hpp"

namespace zentrabo::testing {
namespace {

using platform::X11Pasteboard;
using Clock = std::chrono::steady_clock;

class PrivateDisplayTest : public ::testing::Test {
protected:
    OwnXServer xServer;
};

// The process's resident memory in bytes, from /proc.
std::size_t residentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            std::size_t kibibytes = 0;
            status >> kibibytes;
            return kibibytes * 1024;
        }
    }
    return 0;
}

class BinaryX11ClipboardOwner : public BinaryServerTestOn<PrivateDisplayTest> {
protected:
    void SetUp() override {
        ASSERT_FALSE(xServer.name().empty()) << "no X server of the test's own";
        serverArguments = {"--desktop", "x11"};
        // Memory the sanitizer holds back after it was freed (its quarantine)
        // would count as the server's own.
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        serverEnvironment = {"DISPLAY=" + xServer.name(),
                             std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":quarantine_size_mb=0"};
        BinaryServerTestOn<PrivateDisplayTest>::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
        pairDevice(otherPhone);
    }

    // A paste on the phone's display stream, answered by a command result.
    std::optional<RemoteScreenStreamCommandResultPayload> paste() {
        if (!stream) {
            RemoteScreenStreamRequest options;
            options.framesPerSecond = 1;
            options.maximumPixelDimension = 160;
            options.capturesAudio = false;
            stream = openStream(phone, port, serverFingerprint, options);
        }
        const auto answered = stream->commandResults().size() + 1;
        stream->write(frameBytes(RemoteScreenStreamFrameKind::pasteText, "pasted"));
        if (!stream->waitForCommandResults(answered)) return std::nullopt;
        return stream->commandResults().back();
    }

    TestDevice phone, otherPhone;
    std::unique_ptr<StreamClient> stream;
};

// One server for every case, to keep the wall time short.
TEST_F(BinaryX11ClipboardOwner, StalledOrOversizedOwnersHoldAPasteWithinItsBounds) {
    const auto bound =
        std::chrono::duration_cast<Clock::duration>(X11Pasteboard::transferDeadline) + std::chrono::seconds(2);
    for (const StalledOwner& stalled : stalledOwners) {
        SCOPED_TRACE(stalled.name);
        ScriptedClipboardOwner owner(xServer.name(), offeredTargets(stalled.targets, stalled.size), stalled.answer);
        const auto start = Clock::now();
        auto pasted = std::async(std::launch::async, [&] {
            auto result = paste();
            return std::make_pair(std::move(result), Clock::now());
        });
        // Sent while the paste reads the stalled owner.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto applications = send(otherPhone, deviceRequest("A-1", "applications"));
        const auto applicationsAnswered = Clock::now();
        const auto [result, pasteAnswered] = pasted.get();

        ASSERT_TRUE(result) << "no answer to the paste";
        EXPECT_TRUE(result->succeeded) << result->message.value_or("");
        EXPECT_TRUE(applications.ok) << applications.error.value_or("");
        EXPECT_LT(pasteAnswered - start, bound);
        EXPECT_LT(applicationsAnswered - pasteAnswered, std::chrono::seconds(1));
        // Every type the owner kept back is said to be lost, in one line.
        EXPECT_EQ(home.logCount("Clipboard: " + std::to_string(stalled.targets) + " types not saved for the paste"),
                  1u);
    }

    // An owner offering far more than the cap, answering every type whole.
    constexpr std::size_t typeSize = 15 * 1024 * 1024;
    constexpr int offered = 22;
    constexpr std::size_t allowedGrowth = platform::maximumPasteboardTotalBytes + 50 * 1000 * 1000;
    const auto before = residentBytes(process->pid());
    {
        ScriptedClipboardOwner owner(xServer.name(), offeredTargets(offered, typeSize), OwnerAnswer::whole);
        const auto result = paste();
        ASSERT_TRUE(result && result->succeeded) << (result ? result->message.value_or("") : "no answer");
    }
    EXPECT_LT(residentBytes(process->pid()) - before, allowedGrowth);

    // The server owns the clipboard again with what it kept.
    X11Pasteboard reader(xServer.name());
    const auto items = reader.items();
    ASSERT_EQ(items.size(), 1u);
    const auto expected = offeredTargets(static_cast<int>(platform::maximumPasteboardTotalBytes / typeSize), typeSize);
    ASSERT_EQ(items.front().representations.size(), expected.size());
    EXPECT_EQ(home.logCount("not saved for the paste: past the"), offered - expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const auto& [type, data] = items.front().representations[index];
        EXPECT_EQ(type, expected[index].first);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), expected[index].second.begin(), expected[index].second.end()))
            << type;
    }
}

}  // namespace
}  // namespace zentrabo::testing
