#include "platform/desktop/sound_server_watch.hpp"

#include <utility>

namespace zentrabo::platform {

SoundServerWatch::SoundServerWatch(Clock& clock, Check check) : clock_(clock), check_(std::move(check)) {
    std::lock_guard lock(mutex_);
    startCheckLocked();
}

SoundServerWatch::~SoundServerWatch() {
    if (checker_.joinable()) checker_.join();
}

SoundAvailability SoundServerWatch::availability() {
    std::lock_guard lock(mutex_);
    if (!checking_ && clock_.monotonicNow() - answeredAt_ >= recheckSeconds) startCheckLocked();
    return known_;
}

void SoundServerWatch::whenStreamSoundChanges(SoundHandler handler) {
    std::lock_guard lock(mutex_);
    soundHandler_ = std::move(handler);
}

void SoundServerWatch::streamHasSound() {
    std::unique_lock lock(mutex_);
    answeredLocked(std::nullopt);
    if (!awaitingSound_ || !soundHandler_) return;
    awaitingSound_ = false;
    const auto handler = soundHandler_;
    lock.unlock();
    handler(std::nullopt);
}

void SoundServerWatch::streamLacksSound(const std::string& problem, bool serverUnreachable) {
    std::unique_lock lock(mutex_);
    // A server that answers but whose output cannot be recorded still
    // answers: only an unreachable one changes what is known of it.
    if (serverUnreachable) answeredLocked(problem);
    if (toldLack_ || !soundHandler_) return;
    toldLack_ = true;
    awaitingSound_ = true;
    const auto handler = soundHandler_;
    lock.unlock();
    handler(problem);
}

void SoundServerWatch::startCheckLocked() {
    // The previous check has answered; its thread is at most finishing.
    if (checker_.joinable()) checker_.join();
    checking_ = true;
    checker_ = std::thread([this] {
        auto problem = check_();
        std::lock_guard lock(mutex_);
        checking_ = false;
        answeredLocked(std::move(problem));
    });
}

void SoundServerWatch::answeredLocked(std::optional<std::string> problem) {
    answeredAt_ = clock_.monotonicNow();
    if (!problem) {
        known_ = {SoundAvailability::State::available, {}};
        toldLack_ = false;
        return;
    }
    known_ = {SoundAvailability::State::unavailable, std::move(*problem)};
}

}  // namespace zentrabo::platform
