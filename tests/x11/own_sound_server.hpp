#pragma once
// A sound server of the test's own (a null output, as the shared session's),
// on a socket in a folder of the test's, for tests that kill and restart it
// under the code they test while other test programs use the shared one.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_application.hpp"

namespace zentrabo::testing {

class OwnSoundServer {
public:
    // Starts it; the folder must exist.
    explicit OwnSoundServer(std::filesystem::path folder) : folder_(std::move(folder)) { start(); }
    ~OwnSoundServer() { kill(); }
    OwnSoundServer(const OwnSoundServer&) = delete;
    OwnSoundServer& operator=(const OwnSoundServer&) = delete;

    // What PULSE_SERVER names to reach it.
    std::string address() const { return "unix:" + socketPath(); }

    // Starts it anew on the same socket; true once it accepts connections
    // (at most 10 s).
    bool start() {
        kill();
        const std::string folder = folder_.string();
        pid_ = spawnProgram({"/usr/bin/env", "HOME=" + folder, "XDG_CONFIG_HOME=" + folder,
                             "PULSE_STATE_PATH=" + folder, "PULSE_RUNTIME_PATH=" + folder,
                             // Off the buses, whose names the shared server holds.
                             "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                             "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent", "pulseaudio", "--daemonize=no", "-n",
                             "--use-pid-file=no", "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr",
                             "--log-level=error", "--load=module-null-sink sink_name=test_output rate=48000",
                             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath()});
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (accepts()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Ends it at once, as a crash would.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    std::string socketPath() const { return (folder_ / "native").string(); }

    bool accepts() const {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socketPath();
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        close(fd);
        return connected;
    }

    std::filesystem::path folder_;
    pid_t pid_ = -1;
};

}  // namespace zentrabo::testing
