// A screen stream through the built binary: the device asks for a stream and
// reads frames until the server closes; the terminal shows what runs.
#include <filesystem>
#include <fstream>
#include <string>

#include "binary_harness.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

class BinaryStreamTest : public BinaryServerTest {
protected:
    void SetUp() override {}

    void startWithScreenRecording(bool allowed) {
        const auto scenario = home.path() / ".config/zentrabo/virtual-desktop.json";
        std::filesystem::create_directories(scenario.parent_path());
        std::ofstream(scenario) << R"({"displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 640, "height": 360}}],
                                       "permissions": {"screenRecording": )"
                                << (allowed ? "true" : "false") << "}}";
        startProcess();
    }

    // The frames of an application-window stream, once the server has
    // closed it.
    std::vector<RemoteScreenStreamFrame> framesOfAStream(const TestDevice& device) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        auto stream = openStream(device, port, serverFingerprint, options);
        EXPECT_TRUE(stream->waitUntil([&] { return stream->isClosed(); })) << "the stream was not closed";
        EXPECT_EQ(stream->undecoded(), "");
        return stream->frames();
    }

    std::string statusValue(const std::string& key) {
        EXPECT_TRUE(process->writeLine("status"));
        const auto line = process->readLineStartingWith(key + ": ", terminalDeadline);
        EXPECT_TRUE(line) << "no " << key << " line";
        return line ? line->substr(key.size() + 2) : "";
    }
};

TEST_F(BinaryStreamTest, EndsWithTheTextOfWhatIsMissingAndLeavesNoStreamRunning) {
    struct Row {
        bool screenRecording;
        std::string text;
    };
    const std::vector<Row> rows = {
        {false,
         "Screen Recording permission is missing. Grant it to Zentrabo Server in System Settings, then restart the "
         "server."},
        {true, "The selected app does not have an available window for streaming."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.screenRecording);
        startWithScreenRecording(row.screenRecording);
        const TestDevice device;
        pairDevice(device);
        const auto frames = framesOfAStream(device);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::error);
        EXPECT_EQ(payloadText(frames[0]), row.text);
        EXPECT_EQ(statusValue("screen streams"), "0");
        EXPECT_EQ(statusValue("streaming devices"), "0");
        process.reset();
    }
}

}  // namespace
}  // namespace zentrabo::testing
