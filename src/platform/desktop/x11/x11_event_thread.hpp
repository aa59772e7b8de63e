#pragma once
// The backend's one reader of X events, on a thread and a connection of its
// own: RandR changes now (the monitors changed), and the end of the session
// (the display gone for good). The X11 desktop owns it and
// destroys it first; the destructor wakes the thread through an eventfd and
// joins it, so no handler runs once it has returned.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11EventThread {
public:
    // How long the thread waits before connecting again to a display that
    // closed its connection.
    static constexpr std::chrono::seconds reconnectInterval{2};
    // A display that closed its connection and accepts none for this long
    // has ended its session (a logout); one back sooner (an X server
    // restarted on the same display) is the same session going on.
    static constexpr std::chrono::seconds sessionGraceTime{8};

    // Connects and starts reading. monitorsChanged runs on the thread after
    // every RandR change, and after connecting anew (what changed meanwhile
    // is unknown). sessionEnded runs on the thread once, with the reason,
    // when the display is gone for good; the thread then stops. Throws
    // X11Error when the display cannot be reached.
    X11EventThread(const std::string& display, std::function<void()> monitorsChanged,
                   std::function<void(const std::string& reason)> sessionEnded);
    ~X11EventThread();
    X11EventThread(const X11EventThread&) = delete;
    X11EventThread& operator=(const X11EventThread&) = delete;

private:
    // Asks for the events read here; false when the server does not answer.
    bool selectEvents();
    void run();
    // Handles what has arrived.
    void readEvents();
    // Waits for the connection or the wakeup, at most the timeout (-1: none);
    // false once woken to stop.
    bool wait(int timeoutMilliseconds);

    std::string display_;
    X11Connection connection_;
    std::function<void()> monitorsChanged_;
    std::function<void(const std::string&)> sessionEnded_;
    std::uint8_t randrEventBase_ = 0;
    int wakeup_ = -1;
    std::thread thread_;
};

}  // namespace zentrabo::platform
