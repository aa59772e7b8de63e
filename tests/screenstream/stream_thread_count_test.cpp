// Eight 1080p display streams running at once through the real media start:
// the threads named for the stream are one encoder thread a session plus the
// server's shared pools, whatever the number of sessions; the codecs' own
// threads carry a name of their own.
#include <dirent.h>

#include <fstream>
#include <map>
#include <string>

#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

// How many of this process's threads carry each name.
std::map<std::string, std::size_t> threadNames() {
    std::map<std::string, std::size_t> names;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return names;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name)) ++names[name];
    }
    closedir(tasks);
    return names;
}

class StreamThreadCountTest : public StreamServerTest {
protected:
    platform::DesktopBuilder scenario() override {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1920, 1080});
        return builder;
    }

    void SetUp() override {
        StreamServerTest::SetUp();
        mediaStart = MediaStart::capture;
    }
};

TEST_F(StreamThreadCountTest, EightStreamsRunOnTheirEncoderThreadsAndTheSharedPools) {
    using Server = RemoteScreenStreamServer;
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::display;
    options.framesPerSecond = 10;
    options.capturesAudio = false;
    std::vector<std::unique_ptr<StreamClient>> clients;
    for (std::size_t index = 0; index < Server::maximumSessionCount; ++index) clients.push_back(connect(options));
    for (const auto& client : clients) {
        bool streaming = false;
        for (int step = 0; step < 100 && !streaming; ++step) {
            streaming = client->waitForFrames(2, std::chrono::milliseconds(100));
            if (!streaming) clock.advance(0.1);
        }
        ASSERT_TRUE(streaming);
    }

    const auto names = threadNames();
    const auto countOf = [&names](std::string_view name) {
        const auto found = names.find(std::string(name));
        return found == names.end() ? std::size_t{0} : found->second;
    };
    // Each expected name with its count: one encoder thread a session, and
    // each pool at its fixed size.
    const std::map<std::string, std::size_t> expected{
        {std::string(StreamPipeline::encoderThreadName), Server::maximumSessionCount},
        {std::string(Server::taskThreadName), Server::taskThreadCount},
        {std::string(Server::poolThreadName), Server::poolThreadCount},
        {std::string(Server::workPoolThreadName), Server::workPoolThreadCount},
    };
    std::size_t streamThreads = 0;
    for (const auto& [name, count] : names) {
        if (name.starts_with("zb-stream")) streamThreads += count;
    }
    std::size_t expectedTotal = 0;
    for (const auto& [name, count] : expected) {
        EXPECT_EQ(countOf(name), count) << name;
        expectedTotal += count;
    }
    EXPECT_EQ(streamThreads, expectedTotal);
    // The codecs' threads are named for their role, not for the thread
    // that opened them.
    EXPECT_GT(countOf("zb-codec"), 0u);
}

}  // namespace
}  // namespace zentrabo::testing
