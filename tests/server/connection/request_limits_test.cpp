// What one request may cost: repeated keys, line lengths and the values of a
// request, checked at lowered caps, and the paired line cap once at its real
// size. The bytes of all lines read at once are checked across network
// threads (network_threads_test.cpp).
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

    void SetUp() override {
        requestLimits.pairedLineBytes = lineCap;
        requestLimits.valueCount = valueCap;
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

TEST_F(RequestRoadTest, APairedLineOneByteOverItsRealCapIsTooLarge) {
    pairThisClient();
    const auto response = reply(exchange({std::string(RequestLimits::defaultPairedLineBytes + 1, ' ') + "\n"}));
    EXPECT_EQ(response.error, tooLarge);
}

}  // namespace
}  // namespace zentrabo::testing
