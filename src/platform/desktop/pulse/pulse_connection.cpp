#include "platform/desktop/pulse/pulse_connection.hpp"

#include <pulse/error.h>

#include <chrono>
#include <condition_variable>

namespace zentrabo::platform {

namespace {

constexpr auto connectTimeout = std::chrono::seconds(5);

// What the state callback tells the waiting constructor; it lives on the
// constructor's stack while the callback may use it.
struct ConnectWait {
    std::mutex mutex;
    std::condition_variable changed;
    bool settled = false;
};

}  // namespace

PulseConnection::PulseConnection(const std::string& clientName) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) throw PulseError("The sound server's main loop cannot be made.");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName.c_str());
    if (!context_) {
        pa_threaded_mainloop_free(loop_);
        throw PulseError("The sound server's context cannot be made.");
    }
    ConnectWait wait;
    pa_context_set_state_callback(context_, stateChanged, &wait);
    std::string failure;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        failure = lastError();
    } else if (pa_threaded_mainloop_start(loop_) < 0) {
        failure = "its main loop does not start";
    } else {
        std::unique_lock waiting(wait.mutex);
        if (!wait.changed.wait_for(waiting, connectTimeout, [&] { return wait.settled; })) {
            failure = "it did not answer in time";
        }
    }
    std::string error;
    {
        auto held = lock();
        // The wait goes out of scope with this constructor.
        pa_context_set_state_callback(context_, nullptr, nullptr);
        if (failure.empty() && pa_context_get_state(context_) != PA_CONTEXT_READY) failure = lastError();
    }
    if (!failure.empty()) {
        this->~PulseConnection();
        throw PulseUnreachable(failure);
    }
}

PulseConnection::~PulseConnection() {
    if (!loop_) return;
    {
        auto held = lock();
        pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_stop(loop_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

std::string PulseConnection::lastError() { return pa_strerror(pa_context_errno(context_)); }

void PulseConnection::stateChanged(pa_context* context, void* opaque) {
    auto* wait = static_cast<ConnectWait*>(opaque);
    const auto state = pa_context_get_state(context);
    if (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state)) return;
    std::lock_guard lock(wait->mutex);
    wait->settled = true;
    wait->changed.notify_all();
}

}  // namespace zentrabo::platform
