#pragma once

// Internal to the DNS-SD half of net/: the daemon's client library run by an
// Asio executor instead of a loop of its own.

#include <asio/any_io_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <avahi-common/watch.h>

#include <map>
#include <memory>

namespace zentrabo::platform::detail {

// The library's event-loop interface on an executor: a descriptor the
// library watches becomes an Asio wait, a timeout a steady timer, and every
// library callback runs as a handler of the executor (one thread, or a
// strand). Every watch and timeout must be freed (the library frees them
// with its client) before this object goes.
class AsioAvahiPoll {
public:
    explicit AsioAvahiPoll(asio::any_io_executor executor);
    AsioAvahiPoll(const AsioAvahiPoll&) = delete;
    AsioAvahiPoll& operator=(const AsioAvahiPoll&) = delete;

    const AvahiPoll* api() const { return &api_; }
    const asio::any_io_executor& executor() const { return executor_; }

    // The library may watch one descriptor twice (reading and writing) while
    // the reactor takes each descriptor once: the watches of a descriptor
    // share one Asio object, given back (not closed) with its last watch.
    asio::posix::stream_descriptor& watchDescriptor(int descriptor);
    void unwatchDescriptor(int descriptor);

private:
    struct WatchedDescriptor {
        asio::posix::stream_descriptor socket;
        int watches = 0;
    };

    AvahiPoll api_{};
    asio::any_io_executor executor_;
    std::map<int, std::unique_ptr<WatchedDescriptor>> descriptors_;
};

}  // namespace zentrabo::platform::detail
