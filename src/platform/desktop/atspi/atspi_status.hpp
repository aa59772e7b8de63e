#pragma once
// The session's accessibility switch: org.a11y.Status.IsEnabled on the
// accessibility bus launcher (org.a11y.Bus on the session bus), the switch a
// desktop's accessibility settings turn. The value is kept current by the
// property's change signal on a thread of its own, so reading it costs no
// round trip; while the launcher is gone it reads false. A lost session bus
// is connected to again every 2 s.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zentrabo::platform {

class AtspiStatus {
public:
    // How long the constructor waits for the first answer, and a switch
    // request for the launcher's.
    static constexpr auto answerTimeout = std::chrono::seconds(2);

    AtspiStatus();
    ~AtspiStatus();
    AtspiStatus(const AtspiStatus&) = delete;
    AtspiStatus& operator=(const AtspiStatus&) = delete;

    // The process's one watcher of the session's switch, made on first use.
    static AtspiStatus& session();

    // IsEnabled as last announced; false without a launcher. Any thread.
    bool enabled() const { return enabled_.load(); }
    // Turns the switch on as a desktop's accessibility setting does and
    // answers the state afterwards. Waits at most answerTimeout.
    bool enable();

private:
    struct Watch;
    void run();

    std::atomic<bool> enabled_{false};
    std::unique_ptr<Watch> watch_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool firstAnswer_ = false;
    std::thread thread_;
};

}  // namespace zentrabo::platform
