#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/clock.hpp"
#include "relay/relay_configuration.hpp"

namespace zentrabo {

class HalvardineSecurity;
class RelayTunnelMux;

// Resolving, connecting, the handshake and the registration together must
// finish within this; a relay that accepts TCP and then stalls is a failure.
inline constexpr double relayRegistrationTimeout = 20.0;

// One control connection to the relay: TLS to host:controlPort, the
// registration line, then frames in both directions for the tunnels.
//
// Runs on the connector's queue. Its coroutines keep it alive while they run;
// it reports to its owner only through the events, which hold the owner
// weakly. After cancel() it reports nothing more.
class RelayControlSession : public std::enable_shared_from_this<RelayControlSession> {
public:
    struct Events {
        std::function<void()> registered;                       // registration sent: connected
        std::function<void(const std::string& message)> ended;  // failed or lost, with the reason
    };

    RelayControlSession(const asio::any_io_executor& executor, std::shared_ptr<asio::ssl::context> tls,
                        platform::Clock& clock, HalvardineSecurity& security,
                        HalvardineRelayConfiguration configuration, Events events);
    ~RelayControlSession();

    void start();
    // Drops the connection and every tunnel, silently.
    void cancel();

private:
    asio::awaitable<void> run();
    asio::awaitable<bool> connect();
    asio::awaitable<bool> registerWithRelay();
    asio::awaitable<void> readFrames();
    asio::awaitable<void> writeFrames();
    void fail(const std::string& message);
    void stop();

    asio::any_io_executor executor_;
    std::shared_ptr<asio::ssl::context> tls_;
    platform::Clock& clock_;
    HalvardineSecurity& security_;
    HalvardineRelayConfiguration configuration_;
    Events events_;
    asio::ip::tcp::resolver resolver_;
    asio::ssl::stream<asio::ip::tcp::socket> stream_;
    std::shared_ptr<RelayTunnelMux> mux_;
    platform::Timer deadline_;
    bool finished_ = false;
};

}  // namespace zentrabo
