// A paired phone asking the binary for application icons on a desktop of the
// test's own: a running application whose icon is a picture file, an
// installed one and one that does not exist.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/binary_harness.hpp"
#include "platform/imaging/png_codec.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;

constexpr const char* painterID = "com.example.painter";
constexpr const char* exampleCalculatorID = "com.example.calculator";

std::vector<std::string> identifiers(const HalvardineResponse& response) {
    std::vector<std::string> result;
    for (const auto& icon : response.applicationIcons.value_or(std::vector<RemoteApplicationIcon>{})) {
        result.push_back(icon.bundleIdentifier);
    }
    return result;
}

class BinaryIconsTest : public BinaryServerTest {
protected:
    void SetUp() override {
        // A picture with a white margin, so the running application's icon has something to trim.
        platform::RgbaImage picture(256, 256, 0xFFFFFFFF);
        for (std::uint32_t y = 40; y < 216; ++y) {
            for (std::uint32_t x = 40; x < 216; ++x) std::copy_n("\xE0\x20\x20\xFF", 4, picture.pixel(x, y));
        }
        const auto png = platform::encodePng(picture);
        const auto picturePath = home.path() / "painter.png";
        std::ofstream(picturePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        const auto scenario = home.path() / ".config/zentrabo/virtual-desktop.json";
        std::filesystem::create_directories(scenario.parent_path());
        std::ofstream(scenario) << R"({"displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}}],
            "applications": [
              {"name": "Painter", "bundleIdentifier": ")"
                                << painterID << R"(", "installed": false, "icon": ")" << picturePath.string() << R"("},
              {"name": "Calculator", "bundleIdentifier": ")"
                                << exampleCalculatorID << R"(", "running": false, "iconColor": "#20A040"}]})";
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    HalvardineResponse icons(std::string id, std::optional<std::vector<std::string>> bundleIdentifiers,
                             std::optional<std::string> bundleIdentifier = std::nullopt) {
        auto request = deviceRequest(std::move(id), "applicationIcons");
        request.bundleIdentifiers = std::move(bundleIdentifiers);
        request.bundleIdentifier = std::move(bundleIdentifier);
        return send(phone, request);
    }

    TestDevice phone;
};

TEST_F(BinaryIconsTest, RunningAndInstalledApplicationsGetRoundedPngIconsAndUnknownOnesNone) {
    const auto response =
        icons("ICONS", std::vector<std::string>{painterID, exampleCalculatorID, "com.example.unknown"});
    ASSERT_TRUE(response.ok) << response.error.value_or("");
    EXPECT_THAT(identifiers(response), ElementsAre(painterID, exampleCalculatorID));
    for (const auto& icon : response.applicationIcons.value_or(std::vector<RemoteApplicationIcon>{})) {
        EXPECT_EQ(icon.pixelSize, 96);
        const auto image = platform::decodePng(icon.pngData);
        EXPECT_EQ(image.width, 96u);
        EXPECT_EQ(image.height, 96u);
        for (const auto& [x, y] : {std::pair{0u, 0u}, {95u, 0u}, {0u, 95u}, {95u, 95u}}) {
            EXPECT_EQ(image.pixel(x, y)[3], 0) << icon.bundleIdentifier << " corner " << x << ", " << y;
        }
        EXPECT_EQ(image.pixel(48, 48)[3], 255) << icon.bundleIdentifier;
    }
}

TEST_F(BinaryIconsTest, AnEmptyListOfIdentifiersAsksForNoIconsWhateverTheSingleIdentifierSays) {
    const auto none = icons("NONE", std::vector<std::string>{}, painterID);
    ASSERT_TRUE(none.ok) << none.error.value_or("");
    EXPECT_THAT(identifiers(none), ElementsAre());

    const auto single = icons("ONE", std::nullopt, painterID);
    ASSERT_TRUE(single.ok) << single.error.value_or("");
    EXPECT_THAT(identifiers(single), ElementsAre(painterID));
}

}  // namespace
}  // namespace zentrabo::testing
