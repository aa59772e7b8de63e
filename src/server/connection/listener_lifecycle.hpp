#pragma once
// The server's network front: the listener from its start to its end, its
// advertisement, and the network threads on which every connection runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <asio/any_io_executor.hpp>
#include <asio/ip/address.hpp>

#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/context_pool.hpp"
#include "security/halvardine_security.hpp"
#include "server/connection/listener_status.hpp"
#include "server/connection/request_road.hpp"
#include "server/connection/server_listener.hpp"
#include "server/connection/service_advertisement.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/relay_settings/relay_settings.hpp"

namespace zentrabo {

// What the listener is built on and reports to; every one must outlive it.
struct ListenerLifecycleEnvironment {
    platform::Clock& clock;
    asio::any_io_executor mainLoop;
    // The server's TLS identity.
    HalvardineSecurity& security;
    // Every interface when none.
    std::optional<asio::ip::address> listenAddress;
    bool advertisesService;
    // Written whenever the listener reports.
    ListenerStatus& listener;
    // Told the listener's port.
    RelaySettings& relay;
    // Closed when the listener stops.
    PairingWindow& pairing;
    // Threads that handshake, read and write the connections.
    std::size_t networkThreadCount;
};

// Held by a shared_ptr: the listener's reports hop to the main loop holding
// it weakly. Every member runs on the main loop.
class ListenerLifecycle : public std::enable_shared_from_this<ListenerLifecycle> {
public:
    // A handshake is a core's work for a millisecond or two: one network
    // thread per core, up to this many, serves the devices of one computer
    // with room to spare.
    static constexpr std::size_t maximumNetworkThreadCount = 8;
    // One per core of this machine, at least one and at most the maximum.
    static std::size_t defaultNetworkThreadCount();

    ListenerLifecycle(ListenerLifecycleEnvironment environment, RequestRoadEnvironment road);
    // Stops the network threads, closes the listener and every connection,
    // then lets the threads' executors go.
    ~ListenerLifecycle();
    ListenerLifecycle(const ListenerLifecycle&) = delete;
    ListenerLifecycle& operator=(const ListenerLifecycle&) = delete;

    // Starts the listener unless one exists.
    void start();
    // Stops the listener and starts a new one.
    void restart();

private:
    // The listener's reports; those of a listener that is no longer the
    // current one are ignored.
    void handleListenerState(ServerListener::State state, std::optional<std::uint16_t> port, std::error_code error,
                             const std::shared_ptr<ServerListener>& listener);
    void handleListenerStopped();

    ListenerLifecycleEnvironment environment_;
    // The listener and every connection live on these threads, each on a
    // strand of its own; the main loop never touches their sockets.
    std::unique_ptr<platform::ContextPool> networkThreads_;
    RequestRoad road_;
    ServiceAdvertisement advertisement_;
    std::shared_ptr<ServerListener> listener_;
    std::shared_ptr<platform::TlsContext> tlsContext_;
};

}  // namespace zentrabo
