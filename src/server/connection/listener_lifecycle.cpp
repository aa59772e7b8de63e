#include "server/connection/listener_lifecycle.hpp"

#include <sched.h>

#include <algorithm>
#include <thread>
#include <utility>

#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"

namespace zentrabo {
namespace {

constexpr const char* listenerStoppedReason = "Pairing session cancelled because the server stopped";

}  // namespace

std::size_t ListenerLifecycle::defaultNetworkThreadCount() {
    // The cores this process may run on, as nproc counts them: a container
    // or a pinned process has fewer than the machine.
    cpu_set_t allowed;
    const std::size_t cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                                  ? static_cast<std::size_t>(CPU_COUNT(&allowed))
                                  : std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores, 1, maximumNetworkThreadCount);
}

ListenerLifecycle::ListenerLifecycle(ListenerLifecycleEnvironment environment, RequestRoadEnvironment road)
    : environment_(std::move(environment)),
      networkThreads_(std::make_unique<platform::ContextPool>("zb-network", environment_.networkThreadCount)),
      road_(std::move(road)),
      advertisement_(environment_.mainLoop, environment_.listener) {}

ListenerLifecycle::~ListenerLifecycle() {
    advertisement_.stop();
    // Once the threads have stopped no handler of the listener or of a
    // connection runs again, so their sockets are closed here without a
    // race, and whatever was queued for them goes unrun with the threads'
    // executors, before the road they run on.
    networkThreads_->stopThreads();
    if (listener_) listener_->closeSilently();
    listener_.reset();
    road_.closeAll();
    networkThreads_.reset();
}

void ListenerLifecycle::start() {
    ZENTRABO_LOG("Starting server");
    if (listener_) return;
    environment_.listener.refreshServiceName();
    std::shared_ptr<ServerListener> listener;
    try {
        const TlsIdentity identity = environment_.security.loadOrCreateIdentity(true);
        environment_.listener.setServerCertificateFingerprint(identity.fingerprint);
        tlsContext_ = HalvardineSecurity::tlsParameters(platform::TlsRole::server, identity, std::nullopt);
        listener = std::make_shared<ServerListener>(networkThreads_->executors(), environment_.listenAddress,
                                                    environment_.clock);
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("NWListener start failed: ") + error.what());
        environment_.listener.setListenerFailed(error.what());
        return;
    }

    std::weak_ptr<ListenerLifecycle> weakSelf = weak_from_this();
    std::weak_ptr<ServerListener> weakListener = listener;
    auto mainLoop = environment_.mainLoop;
    // The connection handler runs on the network threads, which stop before
    // the road goes.
    listener->start(
        [weakSelf, weakListener, mainLoop](ServerListener::State state, std::optional<std::uint16_t> port,
                                           std::error_code error) {
            asio::post(mainLoop, [weakSelf, weakListener, state, port, error] {
                auto self = weakSelf.lock();
                auto listener = weakListener.lock();
                if (self && listener) self->handleListenerState(state, port, error, listener);
            });
        },
        [&road = road_, context = tlsContext_](asio::ip::tcp::socket socket, asio::ip::tcp::endpoint peer) {
            road.take(std::move(socket), peer, context);
        });
    listener_ = std::move(listener);
    ZENTRABO_LOG("NWListener started");
}

void ListenerLifecycle::restart() {
    ZENTRABO_LOG("Restarting server");
    if (listener_) listener_->cancel();
    listener_.reset();
    advertisement_.stop();
    environment_.listener.setListenerStatus(false, std::nullopt);
    environment_.relay.updateRelayConnection();
    environment_.pairing.cancelPairing("Server restarted");
    start();
}

void ListenerLifecycle::handleListenerState(ServerListener::State state, std::optional<std::uint16_t> port,
                                            std::error_code error, const std::shared_ptr<ServerListener>& listener) {
    if (listener != listener_) return;
    switch (state) {
    case ServerListener::State::ready:
        environment_.listener.setListenerStatus(true, port);
        environment_.relay.updateRelayConnection();
        ZENTRABO_LOG("Server ready on port " + (port ? std::to_string(*port) : std::string("unknown")));
        if (port && environment_.advertisesService) advertisement_.advertise(*port);
        break;
    case ServerListener::State::failed:
        ZENTRABO_LOG("Server listener failed: " + error.message());
        listener_->cancel();
        handleListenerStopped();
        environment_.listener.setListenerFailed("the listener failed: " + error.message());
        break;
    case ServerListener::State::cancelled:
        ZENTRABO_LOG("Server listener cancelled");
        handleListenerStopped();
        break;
    }
}

void ListenerLifecycle::handleListenerStopped() {
    // Nothing listens until restart() or the next launch.
    environment_.listener.setListenerStatus(false, std::nullopt);
    environment_.relay.updateRelayConnection();
    environment_.pairing.cancelPairing(listenerStoppedReason);
    listener_.reset();
    advertisement_.stop();
}

}  // namespace zentrabo
