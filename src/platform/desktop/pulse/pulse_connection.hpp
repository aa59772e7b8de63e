#pragma once
// A connection to the session's sound server through libpulse, served by a
// threaded main loop of its own. The server is the one PULSE_SERVER names,
// else libpulse's usual defaults (the user's runtime folder); none is ever
// spawned. Connecting waits at most five seconds. Callbacks registered on
// the context run on the loop's thread with the loop locked; everything
// else touches the context only while holding lock().
#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace zentrabo::platform {

// The sound server cannot be reached or refused what was asked.
class PulseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// No sound server answered the connection at all; reason() says why
// ("Connection refused").
class PulseUnreachable : public PulseError {
public:
    explicit PulseUnreachable(const std::string& reason)
        : PulseError("No sound server answers: " + reason), reason_(reason) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

class PulseConnection {
public:
    // Throws PulseUnreachable when no sound server answers, PulseError when
    // the connection cannot even be tried.
    explicit PulseConnection(const std::string& clientName);
    // Stops the loop; whatever the context still holds goes with it.
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the loop's lock while it lives.
    class Lock {
    public:
        explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };
    Lock lock() { return Lock(loop_); }

    pa_context* context() { return context_; }
    // The context's last error as text.
    std::string lastError();

private:
    static void stateChanged(pa_context* context, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace zentrabo::platform
