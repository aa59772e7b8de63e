#include "server/pairing/pairing_link.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/imaging/png_codec.hpp"
#include "support/qr_scan.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

PairingLinkFields fullFields() {
    PairingLinkFields fields;
    fields.service = "Anna’s Mac Zentrabo";
    fields.code = "004217";
    fields.nonce = "ABCDEF0123456789ABCDEF0123456789";
    fields.host = "192.168.1.20";
    fields.port = 50123;
    fields.fingerprint = std::string(64, 'a');
    fields.relay = PairingLinkFields::Relay{"relay.example.org", 443, "device-7"};
    return fields;
}

TEST(PairingLink, CarriesEveryPresentItemInOrderPercentEncoded) {
    EXPECT_EQ(pairingLink(fullFields()),
              "zentrabo://pair?service=Anna%E2%80%99s%20Mac%20Zentrabo&code=004217"
              "&nonce=ABCDEF0123456789ABCDEF0123456789&host=192.168.1.20&port=50123&fp=" +
                  std::string(64, 'a') + "&relayHost=relay.example.org&relayPort=443&relayID=device-7");

    PairingLinkFields partial;
    partial.service = "A&B=C";
    partial.code = "123456";
    partial.host = "10.0.0.1";  // without a port: neither is sent
    EXPECT_EQ(pairingLink(partial), "zentrabo://pair?service=A%26B%3DC&code=123456");
}

TEST(PairingLink, QRCodeDecodesBackToTheExactLink) {
    testing::TemporaryHome home;
    const std::string link = pairingLink(fullFields());
    const auto png = pairingQRCodePng(encodePairingQRCode(link));
    const auto image = platform::decodePng(png);
    EXPECT_EQ(image.width % pairingQRCodeScale, 0u);
    EXPECT_EQ(image.width, image.height);

    const auto file = home.path() / "qr.png";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    std::string scanned = testing::scanQRCode(file);
    // -Sbinary leaves the text as encoded; zbarimg ends its output with a line feed.
    if (!scanned.empty() && scanned.back() == '\n') scanned.pop_back();
    EXPECT_EQ(scanned, link);
}

TEST(PairingLink, ALinkTooLongHasNoCodeAndNoCodeGivesABlankImage) {
    EXPECT_FALSE(encodePairingQRCode(std::string(8000, 'x')).has_value());
    for (const auto& code : {std::optional<platform::QrCode>(), encodePairingQRCode(std::string(8000, 'x'))}) {
        const auto image = platform::decodePng(pairingQRCodePng(code));
        EXPECT_EQ(image.width, pairingQRCodePointSize);
        EXPECT_EQ(image.height, pairingQRCodePointSize);
        EXPECT_EQ(image.pixels, std::vector<std::uint8_t>(image.pixels.size(), 255));
    }
}

}  // namespace
}  // namespace zentrabo
