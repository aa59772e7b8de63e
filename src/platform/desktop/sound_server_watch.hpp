#pragma once
// What the user is told of the session's sound server, learned without
// anyone waiting for it. A check (a connection attempt, which may take its
// full bound when the server hangs) runs on a thread of its own; asking once
// the last answer is older than recheckSeconds starts another, and the asker
// gets the last answer meanwhile. Streams report what they met, which counts
// as an answer too. A stream that runs without sound is told to the handler
// once, and again only after sound could be had in between, so a phone that
// opens stream after stream does not fill the terminal; the next stream that
// has sound after that is told once too (a stream whose sound server came
// back hears it again).
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/desktop/screen_capture.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class SoundServerWatch {
public:
    static constexpr double recheckSeconds = 10;
    // Answers none when the sound server answers, else the problem's text.
    using Check = std::function<std::optional<std::string>()>;

    // Starts the first check. The clock must outlive the watch.
    SoundServerWatch(Clock& clock, Check check);
    // Waits for a check still running (at most its connection bound).
    ~SoundServerWatch();
    SoundServerWatch(const SoundServerWatch&) = delete;
    SoundServerWatch& operator=(const SoundServerWatch&) = delete;

    SoundAvailability availability();
    // problem: why a stream runs without sound, or none once streams have
    // sound again.
    using SoundHandler = std::function<void(const std::optional<std::string>& problem)>;
    void whenStreamSoundChanges(SoundHandler handler);

    // From the streams, on their threads.
    void streamHasSound();
    void streamLacksSound(const std::string& problem, bool serverUnreachable);

private:
    // With mutex_ held.
    void startCheckLocked();
    void answeredLocked(std::optional<std::string> problem);

    Clock& clock_;
    const Check check_;
    std::mutex mutex_;
    SoundAvailability known_;
    double answeredAt_ = 0;
    bool checking_ = false;
    // A stream without sound was told since sound could last be had.
    bool toldLack_ = false;
    // A lack was told and no stream has had sound since.
    bool awaitingSound_ = false;
    SoundHandler soundHandler_;
    std::thread checker_;
};

}  // namespace zentrabo::platform
