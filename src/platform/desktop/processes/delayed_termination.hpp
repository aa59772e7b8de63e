#pragma once
// The end of a polite quit: a process asked to close its windows is sent
// SIGTERM once the wait has passed, if that very process still runs and is
// not asking its user something (a modal dialog: "save your changes?"),
// which a signal would answer by losing the work. One thread holds the
// waits; destroying the object ends it without sending what is still due.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::platform {

class DelayedTermination {
public:
    // At most this many waits at once; a request beyond it is refused.
    static constexpr std::size_t maximumPending = 256;

    // asksUser tells whether the process shows a modal window; it is asked
    // on the object's thread when the wait has passed.
    DelayedTermination(std::chrono::milliseconds wait, std::function<bool(const LinuxProcess&)> asksUser);
    ~DelayedTermination();
    DelayedTermination(const DelayedTermination&) = delete;
    DelayedTermination& operator=(const DelayedTermination&) = delete;

    // False when the queue is full.
    bool schedule(const LinuxProcess& process);

private:
    struct Pending {
        LinuxProcess process;
        std::chrono::steady_clock::time_point due;
    };
    void run();

    const std::chrono::milliseconds wait_;
    const std::function<bool(const LinuxProcess&)> asksUser_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Pending> pending_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zentrabo::platform
