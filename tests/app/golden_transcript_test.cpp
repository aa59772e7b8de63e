// The golden transcript on the virtual desktop's built-in scenario
// (tests/app/golden_transcript.hpp says how to rewrite its expected file).
#include "app/golden_transcript.hpp"

namespace zentrabo::testing {
namespace {

class GoldenTranscriptTest : public GoldenTranscriptOn<::testing::Test> {
protected:
    GoldenTranscriptTest()
        : GoldenTranscriptOn({.serverArguments = ServerProcess::virtualDesktop(),
                              .expectedFile = "transcript.txt",
                              .testFile = "tests/app/golden_transcript_test.cpp",
                              .documentApplication = "com.zentrabo.demo.texteditor",
                              .dialogMenuPath = R"(["File","Close"])",
                              .otherApplication = "com.zentrabo.demo.calculator"}) {}
};

TEST_F(GoldenTranscriptTest, TheTerminalAndADeviceSeeWhatTheTranscriptHolds) { runTranscript(); }

}  // namespace
}  // namespace zentrabo::testing
