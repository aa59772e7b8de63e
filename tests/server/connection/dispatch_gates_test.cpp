// The gates every row passes, in their order, for both kinds of row: a
// reply line, and the "screenStream" upgrade, whose refusals are frames.
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "server/connection/dispatch_table.hpp"
#include "support/device_request.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;
using Scope = HalvardineExtraAuthorizationScope;

constexpr const char* phone = "ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34";
constexpr const char* stranger = "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff";
const std::string newerClient = "Update Zentrabo on this device. The Mac server requires a newer client version.";

class DispatchGatesTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        server->authorization().completePairing(phone, std::string("Phone"), Channel::local);
        bool passwordSet = false;
        server->extraAuthorization().updatePassword(std::nullopt, "secret",
                                                    [&](std::exception_ptr error) { passwordSet = !error; });
        ASSERT_TRUE(runUntil([&] { return passwordSet; }));
        server->extraAuthorization().setScope(Scope::files, true, Channel::local);
    }

    template <typename Condition>
    bool runUntil(Condition condition) {
        for (int turn = 0; !condition() && turn < 20'000; ++turn) {
            mainLoop.runReady();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return condition();
    }

    DispatchOutcome dispatch(const HalvardineRequest& request, const char* fingerprint) {
        std::optional<DispatchOutcome> outcome;
        server->handle(request, Channel::local, std::string(fingerprint),
                       [&](DispatchOutcome answer) { outcome = std::move(answer); });
        EXPECT_TRUE(runUntil([&] { return outcome.has_value(); })) << "no answer to " << request.action;
        return outcome.value_or(DispatchOutcome{});
    }

    std::shared_ptr<HalvardineServer> server;
};

TEST_F(DispatchGatesTest, EachKindOfRowPassesItsGatesInOrder) {
    const auto request = [](std::string action, auto&&... changes) {
        auto built = deviceRequest("G-1", std::move(action));
        (changes(built), ...);
        return built;
    };
    const auto tooOld = [](HalvardineRequest& built) { built.clientProtocolVersion = 0; };
    const auto withScope = [](Scope scope) {
        return [scope](HalvardineRequest& built) { built.extraAuthorizationScope = scope; };
    };
    const auto withStream = [](HalvardineRequest& built) {
        built.screenStream = RemoteScreenStreamRequest{};
        built.screenStream->mode = RemoteScreenStreamMode::display;
    };
    const auto protectStream = [&] { server->extraAuthorization().setScope(Scope::stream, true, Channel::local); };

    struct Case {
        const char* what;
        HalvardineRequest request;
        const char* fingerprint;
        // The text of the refusal, or none for a success.
        std::optional<std::string> error;
        std::optional<HalvardineErrorCode> code;
        bool frame;
    };
    const std::vector<Case> cases = {
        {"version before selection", request("Ping", tooOld), stranger, newerClient, HalvardineErrorCode::actionFailed,
         false},
        {"version before pairing", request("pair", tooOld), stranger, newerClient, HalvardineErrorCode::actionFailed,
         false},
        {"selection before authorization", request("Ping"), stranger, "Unknown action.", std::nullopt, false},
        {"authorization before the field", request("run"), stranger, "Not authorized.",
         HalvardineErrorCode::notAuthorized, false},
        {"the field of an unguarded row", request("run"), phone, "No menu path was provided.", std::nullopt, false},
        {"a scope from the request, checked before its gate", request("extraAuthorizationStatus"), phone,
         "No extra authorization scope was provided.", HalvardineErrorCode::actionFailed, false},
        {"the gate of the scope named", request("extraAuthorizationStatus", withScope(Scope::files)), phone,
         "Extra authorization required.", HalvardineErrorCode::extraAuthorizationRequired, false},
        {"an unprotected scope named", request("extraAuthorizationStatus", withScope(Scope::stream)), phone,
         std::nullopt, std::nullopt, false},
        {"a fixed scope", request("openFile"), phone, "Extra authorization required.",
         HalvardineErrorCode::extraAuthorizationRequired, false},
        {"the field after an open fixed scope", request("screenStreamPreviewScreenshot"), phone,
         "No screen stream request was provided.", std::nullopt, false},
        {"upgrade: version", request("screenStream", tooOld, withStream), stranger, newerClient, std::nullopt, true},
        {"upgrade: authorization", request("screenStream", withStream), stranger, "Not authorized.", std::nullopt,
         true},
        {"upgrade: the field", request("screenStream"), phone, "No screen stream request was provided.", std::nullopt,
         true},
    };
    for (const auto& test : cases) {
        const auto outcome = dispatch(test.request, test.fingerprint);
        EXPECT_EQ(outcome.takesConnectionOver, test.request.action == "screenStream") << test.what;
        if (test.frame) {
            const auto* frame = std::get_if<StreamErrorFrame>(&outcome.answer);
            ASSERT_TRUE(frame) << test.what;
            EXPECT_EQ(frame->message, test.error) << test.what;
            continue;
        }
        const auto* reply = std::get_if<HalvardineResponse>(&outcome.answer);
        ASSERT_TRUE(reply) << test.what;
        EXPECT_EQ(reply->id, "G-1") << test.what;
        EXPECT_EQ(reply->ok, !test.error) << test.what;
        EXPECT_EQ(reply->error, test.error) << test.what;
        EXPECT_EQ(reply->errorCode, test.code) << test.what;
    }

    // Every check passed: the connection goes to the stream server, for the
    // authorized client, with the request's options.
    const auto streamRequest = request("screenStream", withStream);
    const auto passed = dispatch(streamRequest, phone);
    const auto* handOver = std::get_if<StreamHandOver>(&passed.answer);
    ASSERT_TRUE(handOver);
    EXPECT_TRUE(handOver->streamServer);
    EXPECT_EQ(handOver->options, *streamRequest.screenStream);
    EXPECT_EQ(handOver->clientCertificateFingerprint, phone);

    // The extra-authorization gate of an upgrade answers a line, before
    // the options are looked at.
    protectStream();
    const auto gated = dispatch(request("screenStream"), phone);
    ASSERT_TRUE(std::holds_alternative<HalvardineResponse>(gated.answer));
    EXPECT_EQ(std::get<HalvardineResponse>(gated.answer).errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    const auto preview = std::get<HalvardineResponse>(dispatch(request("screenStreamPreviewScreenshot"), phone).answer);
    EXPECT_EQ(preview.errorCode, HalvardineErrorCode::extraAuthorizationRequired) << "the gate before the field";
}

TEST_F(DispatchGatesTest, TheStatusRequestOpensWithATokenAndCarriesOnlyTheIdentityFields) {
    auto authorize = deviceRequest("T-1", "authorizeExtra");
    authorize.extraAuthorizationScope = Scope::files;
    authorize.extraAuthorizationPassword = "secret";
    const auto granted = std::get<HalvardineResponse>(dispatch(authorize, phone).answer);
    ASSERT_TRUE(granted.extraAuthorizationToken);

    auto status = deviceRequest("T-2", "extraAuthorizationStatus");
    status.extraAuthorizationScope = Scope::files;
    status.extraAuthorizationToken = granted.extraAuthorizationToken;
    const auto passed = std::get<HalvardineResponse>(dispatch(status, phone).answer);
    EXPECT_TRUE(passed.ok);
    EXPECT_FALSE(passed.extraAuthorizationToken) << "only the identity fields";
}

// The README names every action the server answers; streaming is not built.
TEST(DispatchTableTest, TheReadmeListsExactlyTheAnsweredActions) {
    std::ifstream file(std::string(ZENTRABO_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << file.rdbuf();
    const std::string readme = text.str();
    const std::string heading = "- Actions answered by the dispatcher:";
    const auto start = readme.find(heading);
    ASSERT_NE(start, std::string::npos);
    const auto end = readme.find("\n\n", start);
    const std::string list = readme.substr(start + heading.size(), end - start - heading.size());
    std::set<std::string> listed;
    // Every quoted word is an action.
    for (auto open = list.find('"'); open != std::string::npos;) {
        const auto close = list.find('"', open + 1);
        listed.insert(list.substr(open + 1, close - open - 1));
        open = list.find('"', close + 1);
    }
    std::set<std::string> rows;
    for (const auto& row : dispatchTable()) {
        if (row.action != "screenStream") rows.emplace(row.action);
    }
    EXPECT_EQ(listed, rows);
}

}  // namespace
}  // namespace zentrabo::testing
