#include "platform/desktop/x11/x11_event_thread.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/randr.h>

#include <cerrno>
#include <optional>
#include <system_error>

namespace zentrabo::platform {

X11EventThread::X11EventThread(const std::string& display, std::function<void()> monitorsChanged,
                               std::function<void(const std::string& reason)> sessionEnded)
    : display_(display),
      connection_(display),
      monitorsChanged_(std::move(monitorsChanged)),
      sessionEnded_(std::move(sessionEnded)) {
    wakeup_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeup_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    selectEvents();
    thread_ = std::thread([this] { run(); });
}

X11EventThread::~X11EventThread() {
    const std::uint64_t one = 1;
    (void)::write(wakeup_, &one, sizeof one);
    thread_.join();
    ::close(wakeup_);
}

bool X11EventThread::selectEvents() {
    // RandR sends the events of the version the client announced.
    const auto version =
        connection_.reply<xcb_randr_query_version_reply_t>(xcb_randr_query_version(connection_.get(), 1, 5));
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection_.get(), &xcb_randr_id);
    if (!version || !randr || !randr->present) return false;
    randrEventBase_ = randr->first_event;
    xcb_randr_select_input(connection_.get(), connection_.root(),
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY |
                               XCB_RANDR_NOTIFY_MASK_RESOURCE_CHANGE);
    connection_.flush();
    return true;
}

bool X11EventThread::wait(int timeoutMilliseconds) {
    pollfd ready[2] = {{wakeup_, POLLIN, 0}, {-1, POLLIN, 0}};
    if (!connection_.isBroken()) ready[1].fd = xcb_get_file_descriptor(connection_.get());
    ::poll(ready, 2, timeoutMilliseconds);
    return !(ready[0].revents & POLLIN);
}

void X11EventThread::readEvents() {
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_.get())) {
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == randrEventBase_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == randrEventBase_ + XCB_RANDR_NOTIFY) {
            changed = true;
        }
        std::free(event);
    }
    if (changed) monitorsChanged_();
}

void X11EventThread::run() {
    std::optional<std::chrono::steady_clock::time_point> lostAt;
    for (;;) {
        if (connection_.isBroken()) {
            const auto now = std::chrono::steady_clock::now();
            if (!lostAt) lostAt = now;
            if (now - *lostAt >= sessionGraceTime) {
                sessionEnded_("the X display " + display_ + " went away");
                return;
            }
            if (!wait(static_cast<int>(std::chrono::milliseconds(reconnectInterval).count()))) return;
            if (connection_.usable() && selectEvents()) monitorsChanged_();
            continue;
        }
        lostAt.reset();
        if (!wait(-1)) return;
        readEvents();
    }
}

}  // namespace zentrabo::platform
