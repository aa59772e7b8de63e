#include "platform/desktop/processes/delayed_termination.hpp"

#include <signal.h>

#include <utility>

namespace zentrabo::platform {

DelayedTermination::DelayedTermination(std::chrono::milliseconds wait,
                                       std::function<bool(const LinuxProcess&)> asksUser)
    : wait_(wait), asksUser_(std::move(asksUser)), thread_([this] { run(); }) {}

DelayedTermination::~DelayedTermination() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool DelayedTermination::schedule(const LinuxProcess& process) {
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() >= maximumPending) return false;
        pending_.push_back({process, std::chrono::steady_clock::now() + wait_});
    }
    changed_.notify_all();
    return true;
}

void DelayedTermination::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pending_.empty()) {
            changed_.wait(lock);
            continue;
        }
        // Waits are equally long, so the first scheduled is the first due.
        const auto due = pending_.front().due;
        if (std::chrono::steady_clock::now() < due) {
            changed_.wait_until(lock, due);
            continue;
        }
        const LinuxProcess process = pending_.front().process;
        pending_.erase(pending_.begin());
        lock.unlock();
        // Only the process that was asked: its number may belong to another
        // by now.
        if (linuxProcess(process.pid) == process && !asksUser_(process)) ::kill(process.pid, SIGTERM);
        lock.lock();
    }
}

}  // namespace zentrabo::platform
