// What one request may cost: repeated keys, line lengths, the values of a
// request and the bytes of all lines read at once, checked at lowered caps,
// and the paired line cap once at its real size.
#include <memory>
#include <string>
#include <vector>

#include "request_road_fixture.hpp"

namespace zentrabo::testing {
namespace {

constexpr const char* tooLarge = "The request is too large.";

class LoweredRequestLimitsTest : public RequestRoadTest {
protected:
    static constexpr std::size_t lineCap = 32 * 1024;
    static constexpr std::size_t valueCap = 16;
    // Room for three lines at the cap, not for four.
    static constexpr std::size_t sharedCap = 3 * (lineCap + 1) + 100;

    void SetUp() override {
        requestLimits = {lineCap, sharedCap, valueCap};
        RequestRoadTest::SetUp();
        pairThisClient();
    }

    // A ping whose path carries strings until the request holds the given
    // number of values (its object, id, action and path are four).
    static std::string pingWithValues(std::size_t values) {
        std::string line = R"({"id":"V-1","action":"ping","path":[)";
        for (std::size_t index = 4; index < values; ++index) line += index == 4 ? R"("p")" : R"(,"p")";
        return line + "]}";
    }
};

TEST_F(LoweredRequestLimitsTest, EachLimitIsTheEdgeBetweenAnAnswerAndARefusal) {
    // The reply every line that is no request gets.
    const auto malformed = reply(exchange({R"({"id":"M-1","action":)"
                                           "\n"}))
                               .error;
    ASSERT_TRUE(malformed);

    enum class Outcome { answered, malformed, tooLarge };
    struct Case {
        const char* what;
        std::string line;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"a repeated key at the top", R"({"id":"K-1","action":"ping","action":"quit"})", Outcome::malformed},
        {"a key repeated by an escape", R"({"id":"K-2","action":"ping","\u0061ction":"quit"})", Outcome::malformed},
        {"a repeated key in an ignored member", R"({"id":"K-3","action":"ping","x":{"y":{"k":1,"k":"quit"}}})",
         Outcome::malformed},
        {"a repeated key inside an array", R"({"id":"K-4","action":"ping","workflowSteps":[{"id":"s","id":"quit"}]})",
         Outcome::malformed},
        {"one key in two objects", R"({"id":"K-5","action":"ping","x":{"k":1},"y":{"k":2}})", Outcome::answered},
        {"a line at the cap", paddedPing(lineCap), Outcome::answered},
        {"a line one byte over the cap", paddedPing(lineCap + 1), Outcome::tooLarge},
        {"values at the cap", pingWithValues(valueCap), Outcome::answered},
        {"one value over the cap", pingWithValues(valueCap + 1), Outcome::malformed},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const auto response = reply(exchange({testCase.line + "\n"}));
        switch (testCase.outcome) {
        case Outcome::answered:
            EXPECT_TRUE(response.ok) << response.error.value_or("");
            break;
        case Outcome::malformed:
            EXPECT_FALSE(response.ok);
            EXPECT_EQ(response.error, malformed);
            EXPECT_FALSE(response.errorCode.has_value());
            break;
        case Outcome::tooLarge:
            EXPECT_FALSE(response.ok);
            EXPECT_EQ(response.error, tooLarge);
            break;
        }
    }
    // Neither a reply nor the log quotes what a refused line carried.
    EXPECT_EQ(logCount("quit"), 0u);
    EXPECT_EQ(logCount("Processing request: ping"), 3u);
}

TEST_F(LoweredRequestLimitsTest, TheLineWhoseBytesPassTheSharedCapIsRefusedAndTheOthersAreAnswered) {
    const std::size_t timersBefore = clock.pendingCount();
    const std::size_t acceptedBefore = logCount("Accepted connection");
    std::vector<std::unique_ptr<RequestClient>> clients;
    for (const char* id : {"S-1", "S-2", "S-3", "S-4"}) clients.push_back(connect({paddedPing(lineCap, id) + "\n"}));
    // Every line is read, and each initial timer stopped, while the main
    // loop stands still: the lines read wait there, holding their bytes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (logCount("Accepted connection") < acceptedBefore + clients.size() || clock.pendingCount() > timersBefore) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the lines were not all read";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ASSERT_TRUE(runMainLoopUntil([&] {
        for (const auto& client : clients) {
            if (client->exchange().received().find('\n') == std::string::npos) return false;
        }
        return true;
    }));
    std::size_t answered = 0;
    std::size_t refused = 0;
    for (const auto& client : clients) {
        const auto response = reply(client->exchange().received());
        answered += response.ok ? 1 : 0;
        refused += response.error == tooLarge ? 1 : 0;
    }
    EXPECT_EQ(answered, 3u);
    EXPECT_EQ(refused, 1u);
}

TEST_F(RequestRoadTest, APairedLineOneByteOverItsRealCapIsTooLarge) {
    pairThisClient();
    const auto response = reply(exchange({std::string(RequestLimits::defaultPairedLineBytes + 1, ' ') + "\n"}));
    EXPECT_EQ(response.error, tooLarge);
}

}  // namespace
}  // namespace zentrabo::testing
