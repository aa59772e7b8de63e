// The terminal's pairing commands and the paired devices on a whole server.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/imaging/png_codec.hpp"
#include "platform/store/store_files.hpp"
#include "support/qr_scan.hpp"
#include "terminal_fixture.hpp"
#include "terminal_rendering.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Channel = HalvardineExtraAuthorizationChannel;

// The lines that draw the QR code: all of them set its colours first.
std::vector<std::string> qrBlock(const std::vector<std::string>& lines) {
    std::vector<std::string> block;
    for (const auto& line : lines) {
        if (line.starts_with("\x1b[")) block.push_back(line);
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

    // A camera reads the drawn code on a light and on a dark terminal alike.
    const auto block = qrBlock(lines);
    ASSERT_FALSE(block.empty());
    for (const auto& [name, theme] : {std::pair{"light", lightTheme}, std::pair{"dark", darkTheme}}) {
        const auto png = platform::encodePng(renderTerminalLines(block, theme));
        const auto file = home.path() / (std::string(name) + "-terminal.png");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        EXPECT_EQ(scanQRCode(file), link) << name << " theme";
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
    output.clear();
    server->authorization().completePairing(ten, std::string("Mac 10"), Channel::relay);
    clock.advance(3600.0);
    server->authorization().completePairing(nine, std::string("Mac 9\x1b[2J"), Channel::local);
    // Each completed pairing is told as it happens, the device's name escaped.
    EXPECT_THAT(output, ElementsAre("Paired Mac 10 (111111...111111).", "Paired Mac 9\\u{001B}[2J (222222...222222)."));

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
