#include <gtest/gtest.h>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::canonicalJson;
using testing::decodeGolden;
using testing::decodes;

constexpr std::string_view kFullRequest =
    R"({"id":"r1","action":"workflow","token":"t","clientProtocolVersion":22,"minimumSupportedServerProtocolVersion":4,)"
    R"("clientAppVersion":"2.1","clientBuildNumber":"210","clientName":"Phone","pairingCode":"012345",)"
    R"("pairingNonce":"n","bundleIdentifier":"com.example.notes","bundleIdentifiers":["a","b"],"displayID":4294967295,)"
    R"("path":["File","Export…"],"urlString":"https://example.com/?q=1",)"
    R"("workflowSteps":[{"id":"s","kind":"wait","title":"","applicationName":"","delayAfter":1}],)"
    R"("modalButtonTitle":"OK","modalExpectedTitle":"Alert","filePath":"~/Documents","fileSortField":"modificationDate",)"
    R"("fileSortDirection":"descending","includesHiddenFiles":false,"includesFileData":true,)"
    R"("screenStream":{"mode":"display","capturesAudio":false},"extraAuthorizationScope":"files",)"
    R"("extraAuthorizationPassword":"p\"w","extraAuthorizationToken":"x"})";

constexpr std::string_view kFullResponse =
    R"({"id":"r1","ok":false,"error":"The menu item is disabled.","errorCode":"menuItemDisabled","token":"",)"
    R"("serverProtocolVersion":22,"minimumSupportedClientProtocolVersion":1,"serverAppVersion":"1.0",)"
    R"("serverBuildNumber":"7","serverCertificateFingerprint":"ab","clientCertificateFingerprint":"cd",)"
    R"("macName":"Studio","host":"192.168.1.20","port":54321,)"
    R"("snapshot":{"application":{"localizedName":"Notes","pid":1,"isFrontmost":true},"items":[]},)"
    R"("applications":[{"localizedName":"Notes","bundleIdentifier":"b","isRunning":true,"isFrontmost":true}],)"
    R"("applicationIcons":[{"bundleIdentifier":"b","pngData":"AA==","pixelSize":64}],)"
    R"("applicationWindows":[{"windowID":1,"title":"w","isMinimized":false,"isOnScreen":true}],)"
    R"("modalInfo":{"role":"AXSheet","buttonTitles":[]},)"
    R"("applicationRecovery":{"localizedName":"Notes","bundleIdentifier":"b"},)"
    R"("displays":[{"name":"Main Monitor","isMain":true,"pixelWidth":0,"pixelHeight":0}],)"
    R"("screenshots":[{"id":"i","title":"t","filename":"f.jpg","contentType":"public.jpeg","data":"AQI="}],)"
    R"("displayWallpapers":[{"id":"w","displayID":2,"filename":"w.jpg","contentType":"public.jpeg","data":""}],)"
    R"("transferredFiles":[{"id":"f","title":"","filename":"a","path":"/a"}],)"
    R"("fileResource":{"kind":"file","name":"a","path":"/a","size":3,"modificationDate":0,"data":"AQID"},)"
    R"("connectionRoute":"relay","extraAuthorizationToken":"tok","extraAuthorizationScope":"stream",)"
    R"("extraAuthorizationExpiresAt":786297600.5,"extraAuthorizationSessionDuration":"short"})";

TEST(RequestRecord, GoldenLineWithEveryField) {
    const auto request = decodeGolden<HalvardineRequest>(kFullRequest);
    EXPECT_EQ(request.displayID, 4294967295u);
    EXPECT_EQ(request.fileSortField, RemoteFileSortField::modificationDate);
    EXPECT_EQ(request.extraAuthorizationScope, HalvardineExtraAuthorizationScope::files);
    EXPECT_EQ(request.extraAuthorizationPassword, "p\"w");
    ASSERT_TRUE(request.workflowSteps);
    EXPECT_EQ(request.workflowSteps->at(0).delayAfter, 1.0);
    ASSERT_TRUE(request.screenStream);
    EXPECT_EQ(request.screenStream->capturesAudio, false);
}

TEST(RequestRecord, OnlyIdAndActionAreNeeded) {
    const auto minimal = decodeGolden<HalvardineRequest>(R"({"id":"","action":"menu"})");
    HalvardineRequest built;
    built.action = "menu";
    EXPECT_EQ(minimal, built);
    EXPECT_EQ(encodeRecord(minimal), R"({"id":"","action":"menu"})");
    EXPECT_EQ(decodeRecord<HalvardineRequest>(R"({"id":"1","action":"menu","path":[]})").path,
              std::vector<std::string>{});
    EXPECT_EQ(decodeRecord<HalvardineRequest>(R"({"id":"1","action":"menu","clientProtocolVersion":-4})")
                  .clientProtocolVersion,
              -4);
    EXPECT_FALSE(
        decodeRecord<HalvardineRequest>(R"({"id":"1","action":"menu","bundleIdentifier":null})").bundleIdentifier);
    for (const auto bad :
         {R"({"id":"1"})", R"({"id":"1","action":3})", R"({"action":"menu"})", R"({"id":null,"action":"menu"})",
          R"({"id":"1","action":"menu","fileSortField":"date"})", R"({"id":"1","action":"menu","displayID":-1})",
          R"({"id":"1","action":"menu","displayID":4294967296})", R"({"id":"1","action":"menu","includesFileData":1})",
          R"({"id":"1","action":"menu","workflowSteps":[{"id":"s"}]})",
          R"({"id":"1","action":"menu","extraAuthorizationScope":"Files"})", R"([])", "",
          "{\"id\":\"1\",\"action\":\"menu\"}\n{}"}) {
        EXPECT_FALSE(decodes<HalvardineRequest>(bad)) << bad;
    }
}

TEST(RequestRecord, UnknownKeysReadAsIfAbsent) {
    std::string extended(kFullRequest);
    extended.pop_back();
    extended += R"(,"futureFeature":{"nested":[1,{"deep":true}]},"ID":"other","screenstream":7})";
    EXPECT_EQ(decodeRecord<HalvardineRequest>(extended), decodeRecord<HalvardineRequest>(kFullRequest));
}

TEST(ResponseRecord, GoldenLineWithEveryField) {
    const auto response = decodeGolden<HalvardineResponse>(kFullResponse);
    EXPECT_EQ(response.errorCode, HalvardineErrorCode::menuItemDisabled);
    EXPECT_EQ(response.port, 54321);
    EXPECT_EQ(response.connectionRoute, HalvardineConnectionRoute::relay);
    EXPECT_EQ(response.extraAuthorizationExpiresAt, platform::Date{786297600.5});
    EXPECT_EQ(response.extraAuthorizationSessionDuration, HalvardineExtraAuthorizationSessionDuration::short_);
    EXPECT_EQ(response.fileResource->data, (Data{1, 2, 3}));
    EXPECT_EQ(response.snapshot->application.id(), "pid-1");
}

TEST(ResponseRecord, OnlyIdAndOkAreNeeded) {
    const auto minimal = decodeGolden<HalvardineResponse>(R"({"id":"r","ok":true})");
    EXPECT_FALSE(minimal.errorCode);
    EXPECT_FALSE(minimal.snapshot);
    HalvardineResponse built;
    built.id = "r";
    built.ok = true;
    EXPECT_EQ(minimal, built);
    for (const auto bad :
         {R"({"id":"r"})", R"({"id":"r","ok":"true"})", R"({"id":"r","ok":1})",
          R"({"id":"r","ok":false,"errorCode":"MenuItemDisabled"})",
          R"({"id":"r","ok":false,"errorCode":"unknownCode"})",
          R"({"id":"r","ok":true,"extraAuthorizationExpiresAt":"2026-01-01T00:00:00Z"})",
          R"({"id":"r","ok":true,"port":65536})",
          R"({"id":"r","ok":true,"applications":[{"localizedName":"N","bundleIdentifier":"b","isRunning":true}]})",
          R"({"id":"r","ok":true,"fileResource":{"kind":"file","name":"a","path":"/a","data":"AQI"}})"}) {
        EXPECT_FALSE(decodes<HalvardineResponse>(bad)) << bad;
    }
}

TEST(ResponseRecord, EveryErrorCodeTravelsAsItsName) {
    for (const auto code : platform::allCases<HalvardineErrorCode>()) {
        HalvardineResponse reply;
        reply.id = "r";
        reply.errorCode = code;
        const std::string json = encodeRecord(reply);
        EXPECT_NE(json.find("\"errorCode\":\"" + std::string(platform::rawValue(code)) + "\""), std::string::npos);
        EXPECT_EQ(decodeRecord<HalvardineResponse>(json).errorCode, code);
    }
}

TEST(ResponseRecord, WritingRefusesNonFiniteDates) {
    HalvardineResponse reply;
    reply.id = "r";
    reply.extraAuthorizationExpiresAt = platform::Date{std::numeric_limits<double>::infinity()};
    EXPECT_THROW(encodeRecord(reply), platform::JsonWriteError);
    reply.extraAuthorizationExpiresAt = platform::Date{0};
    EXPECT_EQ(canonicalJson(encodeRecord(reply)),
              canonicalJson(R"({"id":"r","ok":false,"extraAuthorizationExpiresAt":0})"));
}

// Replaces, inserts or deletes bytes of a valid line at seeded positions,
// favouring the characters that change JSON structure and types.
std::string mutate(std::string line, std::uint64_t& state) {
    const auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::size_t>(state >> 33);
    };
    static constexpr std::string_view kAlphabet = "{}[]\":,0123456789-.eE+ntfrul\\\x01\x7F\xC3\xFF aAbZ=/";
    const std::size_t edits = 1 + next() % 4;
    for (std::size_t i = 0; i < edits && !line.empty(); ++i) {
        const std::size_t position = next() % line.size();
        switch (next() % 4) {
        case 0:
            line[position] = kAlphabet[next() % kAlphabet.size()];
            break;
        case 1:
            line.insert(position, 1, kAlphabet[next() % kAlphabet.size()]);
            break;
        case 2:
            line.erase(position, 1 + next() % 8);
            break;
        default: {
            // Duplicate a slice somewhere else, which nests and repeats structure.
            const std::size_t length = 1 + next() % 40;
            line.insert(next() % line.size(), line.substr(position, length));
        }
        }
    }
    return line;
}

template <platform::Record R>
void feedMutations(std::string_view seedLine, std::uint64_t seed, int count, int& decoded) {
    std::uint64_t state = seed;
    for (int i = 0; i < count; ++i) {
        const std::string line = mutate(std::string(seedLine), state);
        try {
            const R record = decodeRecord<R>(line);
            // Whatever reads must also write and read back unchanged.
            EXPECT_EQ(decodeRecord<R>(encodeRecord(record)), record) << line;
            ++decoded;
        } catch (const RecordDecodeError&) {
        }
    }
}

TEST(WireRecords, SeededMutationsNeverCrashOrHang) {
    int decodedRequests = 0;
    int decodedResponses = 0;
    feedMutations<HalvardineRequest>(kFullRequest, 1, 4000, decodedRequests);
    feedMutations<HalvardineResponse>(kFullResponse, 2, 4000, decodedResponses);
    // Some mutations stay valid (inside strings, say); most must not.
    EXPECT_GT(decodedRequests, 0);
    EXPECT_LT(decodedRequests, 4000);
    EXPECT_GT(decodedResponses, 0);
    EXPECT_LT(decodedResponses, 4000);
}

}  // namespace
}  // namespace zentrabo
