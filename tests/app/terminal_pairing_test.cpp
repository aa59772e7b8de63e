// The terminal's pairing commands and the paired devices on a whole server.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <tuple>

#include "platform/imaging/qr_code.hpp"
#include "platform/store/store_files.hpp"
#include "terminal_fixture.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Channel = HalvardineExtraAuthorizationChannel;

constexpr std::string_view fullBlock = "\u2588";
constexpr std::string_view upperBlock = "\u2580";
constexpr std::string_view lowerBlock = "\u2584";

// Reads a drawn QR block back into module rows (true for dark): two rows per
// text line, a block half meaning a light module.
std::vector<std::vector<bool>> modulesOf(const std::vector<std::string>& lines) {
    // Each cell: its text, then whether its upper and lower modules are dark.
    const std::array<std::tuple<std::string_view, bool, bool>, 4> cells{
        {{" ", true, true}, {fullBlock, false, false}, {upperBlock, false, true}, {lowerBlock, true, false}}};
    std::vector<std::vector<bool>> rows;
    for (const auto& line : lines) {
        std::vector<bool> upper;
        std::vector<bool> lower;
        for (std::string_view rest = line; !rest.empty();) {
            const auto cell = std::find_if(cells.begin(), cells.end(),
                                           [&](const auto& entry) { return rest.starts_with(std::get<0>(entry)); });
            if (cell == cells.end()) {
                ADD_FAILURE() << "unexpected character in the QR block: " << line;
                return {};
            }
            upper.push_back(std::get<1>(*cell));
            lower.push_back(std::get<2>(*cell));
            rest.remove_prefix(std::get<0>(*cell).size());
        }
        rows.push_back(std::move(upper));
        rows.push_back(std::move(lower));
    }
    return rows;
}

// The lines made only of the half-block characters and spaces.
std::vector<std::string> qrBlock(const std::vector<std::string>& lines) {
    std::vector<std::string> block;
    for (const auto& line : lines) {
        if (line.starts_with(fullBlock) || line.starts_with(upperBlock) || line.starts_with(lowerBlock) ||
            line.starts_with(' ')) {
            block.push_back(line);
        }
    }
    return block;
}

class TerminalPairingTest : public TerminalTest {
protected:
    HalvardineResponse pairRequest(std::string code) {
        HalvardineRequest request;
        request.id = "request-1";
        request.action = "pair";
        request.pairingCode = std::move(code);
        return server->pairing().handlePairRequest(request, std::string(64, 'a'), Channel::local);
    }
};

TEST_F(TerminalPairingTest, PairPrintsCodeLinkTheQRBlockAndThePrivateImage) {
    const auto lines = run("pair");
    ASSERT_TRUE(*server->pairing().isPairingActive());
    const std::string link = server->pairing().pairingLink().value();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Pairing started; it closes in 120 seconds (\"cancel\" closes it now).");
    EXPECT_EQ(lines[1], "Pairing code: " + *server->pairing().pairingCode());
    EXPECT_EQ(lines[2], "Pairing link: " + link);

    // Every module of the code the server's image shows, quiet zone included.
    const auto code = platform::QrCode::encode(link, platform::QrErrorCorrection::medium);
    const auto block = qrBlock(lines);
    EXPECT_EQ(block.size(), (code.size() + 1) / 2);
    const auto rows = modulesOf(block);
    ASSERT_GE(rows.size(), code.size());
    for (std::uint32_t y = 0; y < code.size(); ++y) {
        ASSERT_EQ(rows[y].size(), code.size()) << "row " << y;
        for (std::uint32_t x = 0; x < code.size(); ++x) EXPECT_EQ(rows[y][x], code.isDark(x, y)) << x << "," << y;
    }
    // The half row below an odd count is light, like the quiet zone.
    if (rows.size() > code.size()) {
        EXPECT_EQ(rows.back(), std::vector<bool>(code.size(), false));
    }

    const auto imagePath = platform::dataFolder() / "pairing-qr.png";
    EXPECT_EQ(lines.back(), "Pairing QR image: " + imagePath.string());
    struct stat status {};
    ASSERT_EQ(stat(imagePath.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(TerminalPairingTest, PairSaysWhyNoWindowOpened) {
    server->listener().setListenerStatus(false, std::nullopt);
    EXPECT_THAT(run("pair"), ElementsAre("Pairing not started: the server is not listening. Try \"restart\"."));

    server->listener().setListenerStatus(true, 50123);
    run("pair");
    const std::string code = *server->pairing().pairingCode();
    std::string wrong = code;
    wrong[0] = wrong[0] == '9' ? '0' : static_cast<char>(wrong[0] + 1);
    for (int attempt = 0; attempt < 3; ++attempt) pairRequest(wrong);
    ASSERT_FALSE(*server->pairing().isPairingActive());
    EXPECT_THAT(run("pair"), ElementsAre("Pairing session not started because pairing is locked for 60 seconds."));
    EXPECT_FALSE(std::filesystem::exists(platform::dataFolder() / "pairing-qr.png"))
        << "no image outlives a refused start";

    clock.advance(60.0);
    mainLoop.runReady();
    EXPECT_THAT(run("pair").front(), StartsWith("Pairing started;"));
}

TEST_F(TerminalPairingTest, CancelClosesAnOpenWindowOnly) {
    EXPECT_THAT(run("cancel"), ElementsAre("No pairing to cancel."));
    run("pair");
    EXPECT_THAT(run("cancel"), ElementsAre("Pairing cancelled."));
    EXPECT_FALSE(*server->pairing().isPairingActive());
    EXPECT_EQ(*server->pairing().pairingCode(), "");
    EXPECT_THAT(run("cancel now"), ElementsAre(HasSubstr("takes no arguments")));
}

TEST_F(TerminalPairingTest, DevicesAreNumberedInTheServersOrderAndRevokeTakesThatNumber) {
    EXPECT_THAT(run("devices"), ElementsAre("Paired devices: none."));
    const std::string ten(64, '1');
    const std::string nine(64, '2');
    server->authorization().completePairing(ten, std::string("Mac 10"), Channel::relay);
    clock.advance(3600.0);
    server->authorization().completePairing(nine, std::string("Mac 9\x1b[2J"), Channel::local);

    EXPECT_THAT(run("devices"), ElementsAre("Paired devices: 2",
                                            "1. Mac 9\\u{001B}[2J  222222...222222  paired 2026-05-09 07:13:20 UTC  "
                                            "last seen 2026-05-09 07:13:20 UTC  via local",
                                            "2. Mac 10  111111...111111  paired 2026-05-09 06:13:20 UTC  "
                                            "last seen 2026-05-09 06:13:20 UTC  via relay"));

    for (const auto* bad :
         {"revoke", "revoke x", "revoke -1", "revoke 1 2", "revoke 1x", "revoke 99999999999999999999"}) {
        EXPECT_THAT(run(bad), ElementsAre(HasSubstr("give the number that \"devices\" shows"))) << bad;
    }
    EXPECT_THAT(run("revoke 0"), ElementsAre("No device number 0; \"devices\" lists 2."));
    EXPECT_THAT(run("revoke 3"), ElementsAre("No device number 3; \"devices\" lists 2."));
    ASSERT_EQ(server->authorization().pairedDevices()->size(), 2u);

    EXPECT_THAT(run("revoke 2"), ElementsAre("Revoked Mac 10 (111111...111111)."));
    ASSERT_EQ(server->authorization().pairedDevices()->size(), 1u);
    EXPECT_EQ(server->authorization().pairedDevices()->front().certificateFingerprint, nine);
    EXPECT_THAT(run("devices")[1], StartsWith("1. Mac 9"));
}

TEST_F(TerminalPairingTest, LogListsTheAuditNewestFirst) {
    EXPECT_THAT(run("log"), ElementsAre("Security log: no events."));
    run("pair");
    EXPECT_EQ(run("log").front(), "Security log: 1 event, newest first");
    clock.advance(5.0);
    mainLoop.runReady();
    pairRequest("000000x");
    EXPECT_THAT(run("log"), ElementsAre("Security log: 2 events, newest first",
                                        "2026-05-09 06:13:25 UTC  Rejected pairing request with incorrect code. "
                                        "2 attempts remaining.  [aaaaaa...aaaaaa]",
                                        "2026-05-09 06:13:20 UTC  Pairing session started."));
}

}  // namespace
}  // namespace zentrabo::testing
