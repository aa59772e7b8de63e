#include "platform/net/dnssd_poll.hpp"

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <avahi-common/timeval.h>

#include <chrono>
#include <cstdint>
#include <memory>

using zentrabo::platform::detail::AsioAvahiPoll;

// The library names these types and leaves their contents to the loop.
struct AvahiWatch {
    AvahiWatch(AsioAvahiPoll& poll, int descriptor)
        : poll(poll), descriptor(descriptor), socket(poll.watchDescriptor(descriptor)) {}

    AsioAvahiPoll& poll;
    int descriptor;
    asio::posix::stream_descriptor& socket;
    AvahiWatchEvent wanted{};
    // The events of the callback running now, for avahi_watch_get_events.
    AvahiWatchEvent happened{};
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    bool isWaitingToRead = false;
    bool isWaitingToWrite = false;
    // Cleared when the library frees the watch: a wait that completes later
    // finds the watch gone and does nothing.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

struct AvahiTimeout {
    explicit AvahiTimeout(const asio::any_io_executor& executor) : timer(executor) {}

    asio::steady_timer timer;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    // Counts the settings: a wait that completes for an older one does nothing.
    std::uint64_t generation = 0;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

namespace zentrabo::platform::detail {
namespace {

AsioAvahiPoll& pollOf(const AvahiPoll* api) { return *static_cast<AsioAvahiPoll*>(api->userdata); }

void armWatch(AvahiWatch* watch);

void awaitWatch(AvahiWatch* watch, AvahiWatchEvent event) {
    const auto wait = event == AVAHI_WATCH_IN ? asio::posix::stream_descriptor::wait_read
                                              : asio::posix::stream_descriptor::wait_write;
    (event == AVAHI_WATCH_IN ? watch->isWaitingToRead : watch->isWaitingToWrite) = true;
    watch->socket.async_wait(wait, [watch, event, alive = std::weak_ptr<bool>(watch->alive)](std::error_code error) {
        const auto isAlive = alive.lock();
        if (!isAlive || !*isAlive) return;
        (event == AVAHI_WATCH_IN ? watch->isWaitingToRead : watch->isWaitingToWrite) = false;
        if (error || (watch->wanted & event) == 0) return;
        watch->happened = event;
        watch->callback(watch, watch->descriptor, event, watch->userdata);
        // The callback may have freed the watch.
        if (!*isAlive) return;
        watch->happened = AvahiWatchEvent{};
        armWatch(watch);
    });
}

void armWatch(AvahiWatch* watch) {
    if ((watch->wanted & AVAHI_WATCH_IN) && !watch->isWaitingToRead) awaitWatch(watch, AVAHI_WATCH_IN);
    if ((watch->wanted & AVAHI_WATCH_OUT) && !watch->isWaitingToWrite) awaitWatch(watch, AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll* api, int descriptor, AvahiWatchEvent event, AvahiWatchCallback callback,
                     void* userdata) {
    auto* watch = new AvahiWatch(pollOf(api), descriptor);
    watch->wanted = event;
    watch->callback = callback;
    watch->userdata = userdata;
    armWatch(watch);
    return watch;
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event) {
    watch->wanted = event;
    armWatch(watch);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch) { return watch->happened; }

void watchFree(AvahiWatch* watch) {
    // A wait still pending finds the watch gone when it completes.
    *watch->alive = false;
    watch->poll.unwatchDescriptor(watch->descriptor);
    delete watch;
}

void scheduleTimeout(AvahiTimeout* timeout, const struct timeval* when) {
    const std::uint64_t generation = ++timeout->generation;
    timeout->timer.cancel();
    if (when == nullptr) return;
    // avahi_age is how long ago the moment was: negative for one to come.
    const AvahiUsec age = avahi_age(when);
    timeout->timer.expires_after(std::chrono::microseconds(age < 0 ? -age : 0));
    timeout->timer.async_wait(
        [timeout, generation, alive = std::weak_ptr<bool>(timeout->alive)](std::error_code error) {
            const auto isAlive = alive.lock();
            if (!isAlive || !*isAlive || error || timeout->generation != generation) return;
            timeout->callback(timeout, timeout->userdata);
        });
}

AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* when, AvahiTimeoutCallback callback,
                         void* userdata) {
    auto* timeout = new AvahiTimeout(pollOf(api).executor());
    timeout->callback = callback;
    timeout->userdata = userdata;
    scheduleTimeout(timeout, when);
    return timeout;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* when) { scheduleTimeout(timeout, when); }

void timeoutFree(AvahiTimeout* timeout) {
    *timeout->alive = false;
    timeout->timer.cancel();
    delete timeout;
}

}  // namespace

AsioAvahiPoll::AsioAvahiPoll(asio::any_io_executor executor) : executor_(std::move(executor)) {
    api_.userdata = this;
    api_.watch_new = watchNew;
    api_.watch_update = watchUpdate;
    api_.watch_get_events = watchGetEvents;
    api_.watch_free = watchFree;
    api_.timeout_new = timeoutNew;
    api_.timeout_update = timeoutUpdate;
    api_.timeout_free = timeoutFree;
}

asio::posix::stream_descriptor& AsioAvahiPoll::watchDescriptor(int descriptor) {
    auto& watched = descriptors_[descriptor];
    if (!watched) watched.reset(new WatchedDescriptor{asio::posix::stream_descriptor(executor_, descriptor), 0});
    ++watched->watches;
    return watched->socket;
}

void AsioAvahiPoll::unwatchDescriptor(int descriptor) {
    const auto found = descriptors_.find(descriptor);
    if (found == descriptors_.end() || --found->second->watches > 0) return;
    // The descriptor is the library's: given back, not closed.
    found->second->socket.release();
    descriptors_.erase(found);
}

}  // namespace zentrabo::platform::detail
