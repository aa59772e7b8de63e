// A paired device and a cooperating local process against the real listener:
// while the process swaps what a path leads to as fast as it can, the device
// asks for that path over and over. Whatever the timing, the server uses the
// item it judged and nothing else: the key store never goes out, and no
// received file lands in the server's own folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loopback_server_fixture.hpp"
#include "platform/files/xdg_folders.hpp"
#include "support/file_text.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Swaps the two names with each other (RENAME_EXCHANGE) as fast as it can,
// on a thread of its own, until it goes; each swap is atomic, so both names
// always exist.
class NameSwapper {
public:
    NameSwapper(fs::path first, fs::path second)
        : first_(std::move(first)), second_(std::move(second)), thread_([this] { run(); }) {}
    ~NameSwapper() {
        stop_ = true;
        thread_.join();
    }
    NameSwapper(const NameSwapper&) = delete;
    NameSwapper& operator=(const NameSwapper&) = delete;

    std::size_t swaps() const { return swaps_; }
    bool failed() const { return failed_; }

private:
    void run() {
        // Below the server's threads, so that on a machine of few cores the
        // swapping does not starve the requests it races against.
        static_cast<void>(::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10));
        while (!stop_) {
            if (::renameat2(AT_FDCWD, first_.c_str(), AT_FDCWD, second_.c_str(), RENAME_EXCHANGE) != 0) {
                failed_ = true;
                return;
            }
            ++swaps_;
        }
    }

    fs::path first_;
    fs::path second_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::size_t> swaps_{0};
    std::thread thread_;
};

// Every creation, move into and write that lands in a folder, from the
// moment this watch is made.
class FolderWatch {
public:
    explicit FolderWatch(const fs::path& folder) : descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(inotify_add_watch(descriptor_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_MODIFY), 0);
    }
    ~FolderWatch() { ::close(descriptor_); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The names of the entries the events so far were about.
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[16384];
        ssize_t length;
        while ((length = ::read(descriptor_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                names.emplace_back(event->len > 0 ? event->name : "(the folder)");
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int descriptor_;
};

class FileRacesRoadTest : public LoopbackServerTest {
protected:
    // How many requests are on their way at once.
    static constexpr std::size_t inFlight = 32;

    void SetUp() override {
        LoopbackServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairThisClient();
    }

    // Sends the requests that make(n) gives for n = 0 ... count - 1, up to
    // inFlight at once, from devices that share one client context and its
    // threads, and hands each reply to check. Each device closes as soon as
    // it has its reply, so the server closes too and connections do not pile
    // up; the manual clock stays put, since moving it would age the 12 s
    // request deadline of every connection still in its handshake.
    void sendAll(std::size_t count, const std::function<std::string(std::size_t)>& make,
                 const std::function<void(const HalvardineResponse&)>& check) {
        asio::io_context devices;
        auto work = asio::make_work_guard(devices);
        std::vector<std::thread> threads;
        for (int thread = 0; thread < 2; ++thread) threads.emplace_back([&] { devices.run(); });
        const auto tls = security().clientParameters(std::nullopt);
        struct Pending {
            std::shared_ptr<ClientExchange> exchange;
            Clock::time_point start;
        };
        std::vector<Pending> pending;
        std::size_t sent = 0;
        std::size_t answered = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        while (answered < count && Clock::now() < deadline && !HasFailure()) {
            while (pending.size() < inFlight && sent < count) {
                auto exchange = std::make_shared<ClientExchange>();
                asio::co_spawn(devices,
                               runRequestClient(port, tls, {make(sent++)}, exchange, ClientEnd::afterReplyLine),
                               asio::detached);
                pending.push_back({std::move(exchange), Clock::now()});
            }
            static_cast<void>(runMainLoopUntil(
                [&] {
                    for (const auto& request : pending) {
                        if (request.exchange->received().find('\n') != std::string::npos) return true;
                    }
                    return false;
                },
                std::chrono::milliseconds(200)));
            for (auto request = pending.begin(); request != pending.end();) {
                const std::string received = request->exchange->received();
                const auto end = received.find('\n');
                if (end == std::string::npos) {
                    EXPECT_LT(Clock::now() - request->start, std::chrono::seconds(20)) << "no reply";
                    ++request;
                    continue;
                }
                check(decodeRecord<HalvardineResponse>(std::string_view(received).substr(0, end)));
                request = pending.erase(request);
                ++answered;
            }
        }
        EXPECT_EQ(answered, count) << "not every request was answered in time";
        // Devices still waiting for the server to close give up.
        work.reset();
        devices.stop();
        for (auto& thread : threads) thread.join();
    }

    fs::path keyStore() const { return platform::dataFolder() / "keystore.json"; }
};

TEST_F(FileRacesRoadTest, ALinkFlippedToTheKeyStoreNeverServesIt) {
    const std::string keyStoreBytes = fileText(keyStore());
    ASSERT_NE(keyStoreBytes.find("pkcs8"), std::string::npos) << "the key store holds the device's key";
    const fs::path folder = home.path() / "Shared";
    fs::create_directories(folder);
    const std::string harmless = "nothing secret in here\n";
    std::ofstream(folder / "notes.txt") << harmless;
    fs::create_symlink(folder / "notes.txt", folder / "asked");
    fs::create_symlink(keyStore(), folder / "aside");

    std::size_t served = 0;
    std::size_t refused = 0;
    {
        const NameSwapper swapper(folder / "asked", folder / "aside");
        sendAll(
            2000,
            [&](std::size_t n) {
                auto request = deviceRequest("K-" + std::to_string(n), "fileResource");
                request.filePath = (folder / "asked").string();
                return encodeRecord(request) + "\n";
            },
            [&](const HalvardineResponse& reply) {
                if (reply.ok) {
                    ASSERT_TRUE(reply.fileResource && reply.fileResource->data);
                    const Data& data = *reply.fileResource->data;
                    EXPECT_EQ(std::string(data.begin(), data.end()), harmless) << "only the harmless file goes out";
                    ++served;
                } else {
                    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::fileBrowserPathUnavailable)
                        << reply.error.value_or("");
                    EXPECT_FALSE(reply.fileResource);
                    ++refused;
                }
            });
        EXPECT_FALSE(swapper.failed());
        EXPECT_GT(swapper.swaps(), 2000u) << "the link flipped all along";
    }
    EXPECT_EQ(served + refused, 2000u);
    EXPECT_GE(served, 1u) << "the harmless file is served when the link leads to it";
}

TEST_F(FileRacesRoadTest, AReceiveFolderFlippedToTheDataFolderNeverGetsAFileInside) {
    const fs::path receive = home.path() / "Downloads/Zentrabo";
    fs::create_directories(receive);
    fs::create_directory_symlink(platform::dataFolder(), home.path() / "Downloads/aside");
    const FolderWatch watch(platform::dataFolder());

    std::size_t saved = 0;
    std::size_t refused = 0;
    {
        const NameSwapper swapper(receive, home.path() / "Downloads/aside");
        sendAll(
            200,
            [](std::size_t n) {
                auto request = deviceRequest("W-" + std::to_string(n), "workflow");
                MenuWorkflowStep step;
                step.id = "save";
                step.kind = "sendFile";
                step.title = "Save";
                step.delayAfter = 0;
                step.fileTransferFilename = "race.txt";
                const std::string bytes = "file " + std::to_string(n);
                step.fileTransferData = Data(bytes.begin(), bytes.end());
                request.workflowSteps = std::vector<MenuWorkflowStep>{step};
                return encodeRecord(request) + "\n";
            },
            [&](const HalvardineResponse& reply) {
                if (reply.ok) {
                    ASSERT_TRUE(reply.transferredFiles);
                    ASSERT_EQ(reply.transferredFiles->size(), 1u);
                    ++saved;
                } else {
                    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::fileTransferDestinationUnavailable)
                        << reply.error.value_or("");
                    ++refused;
                }
            });
        EXPECT_FALSE(swapper.failed());
    }
    EXPECT_EQ(saved + refused, 200u);
    EXPECT_GE(saved, 1u);
    const std::vector<std::string> written = watch.names();
    EXPECT_TRUE(written.empty()) << "written into the data folder: " << written.front();

    // Every saved file is in the real receive folder, under its own name.
    const fs::path real = fs::is_symlink(receive) ? home.path() / "Downloads/aside" : receive;
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(real)) {
        EXPECT_TRUE(entry.path().filename().string().starts_with("race")) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, saved);
}

}  // namespace
}  // namespace zentrabo::testing
