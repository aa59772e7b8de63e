#include "relay/halvardine_relay_connector.hpp"

#include <asio.hpp>
#include <future>

#include "model/diagnostic_log.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/text/log_escape.hpp"
#include "relay/relay_backoff.hpp"
#include "relay/relay_control_session.hpp"
#include "relay/relay_tls.hpp"

namespace zentrabo {

// The connector's state on its queue: the configuration, the one control
// session and the pending reconnect. Touched only on the queue's thread.
class HalvardineRelayConnector::Core : public std::enable_shared_from_this<Core> {
public:
    Core(asio::any_io_executor queue, asio::any_io_executor mainExecutor, platform::Clock& clock,
         HalvardineSecurity& security, std::weak_ptr<StateHandler> stateHandler,
         std::shared_ptr<asio::ssl::context> tls)
        : queue_(std::move(queue)),
          mainExecutor_(std::move(mainExecutor)),
          clock_(clock),
          security_(security),
          stateHandler_(std::move(stateHandler)),
          tls_(std::move(tls)) {}

    void configure(std::optional<HalvardineRelayConfiguration> configuration) {
        stopConnection();
        backoff_.reset();
        configuration_ = std::move(configuration);
        if (!configuration_ || !configuration_->isEnabled) {
            ZENTRABO_LOG("Relay disabled");
            report(HalvardineRelayConnectionState::disabled, std::nullopt);
            return;
        }
        connect();
    }

    void shutdown() {
        stopConnection();
        configuration_.reset();
    }

private:
    void stopConnection() {
        reconnect_.cancel();
        if (session_) session_->cancel();
        session_.reset();
        connectedSince_.reset();
    }

    void connect() {
        ZENTRABO_LOG("Relay connecting to " + platform::escapeForLog(configuration_->host, 200) + ":" +
                     std::to_string(configuration_->controlPort));
        report(HalvardineRelayConnectionState::connecting, std::nullopt);
        // Each session's events carry its number, so a report of a session
        // that was already replaced is ignored.
        const std::uint64_t generation = ++generation_;
        std::weak_ptr<Core> weakCore = weak_from_this();
        RelayControlSession::Events events{[weakCore, generation] {
                                               if (auto core = weakCore.lock()) core->sessionRegistered(generation);
                                           },
                                           [weakCore, generation](const std::string& message) {
                                               if (auto core = weakCore.lock()) core->sessionEnded(generation, message);
                                           }};
        session_ =
            std::make_shared<RelayControlSession>(queue_, tls_, clock_, security_, *configuration_, std::move(events));
        session_->start();
    }

    bool isCurrent(std::uint64_t generation) const { return session_ && generation == generation_; }

    void sessionRegistered(std::uint64_t generation) {
        if (!isCurrent(generation)) return;
        connectedSince_ = clock_.monotonicNow();
        ZENTRABO_LOG("Relay connected");
        report(HalvardineRelayConnectionState::connected, std::nullopt);
    }

    void sessionEnded(std::uint64_t generation, const std::string& message) {
        if (!isCurrent(generation)) return;
        session_.reset();
        if (connectedSince_ && clock_.monotonicNow() - *connectedSince_ >= RelayBackoff::stableConnection) {
            backoff_.reset();
        }
        connectedSince_.reset();
        ZENTRABO_LOG("Relay connection failed: " + message);
        // Scheduled before the report, so whoever sees "failed" can count on
        // the retry being on its way.
        reconnect_ = clock_.schedule(queue_, backoff_.nextDelay(), [weak = weak_from_this()] {
            auto core = weak.lock();
            if (core && core->configuration_ && core->configuration_->isEnabled && !core->session_) core->connect();
        });
        report(HalvardineRelayConnectionState::failed, message);
    }

    void report(HalvardineRelayConnectionState state, std::optional<std::string> message) {
        asio::post(mainExecutor_, [handler = stateHandler_, state, message = std::move(message)] {
            if (auto stateHandler = handler.lock()) (*stateHandler)(state, message);
        });
    }

    asio::any_io_executor queue_;
    asio::any_io_executor mainExecutor_;
    platform::Clock& clock_;
    HalvardineSecurity& security_;
    std::weak_ptr<StateHandler> stateHandler_;
    std::shared_ptr<asio::ssl::context> tls_;
    std::optional<HalvardineRelayConfiguration> configuration_;
    std::shared_ptr<RelayControlSession> session_;
    std::uint64_t generation_ = 0;
    platform::Timer reconnect_;
    RelayBackoff backoff_;
    std::optional<double> connectedSince_;
};

HalvardineRelayConnector::HalvardineRelayConnector(asio::any_io_executor mainExecutor, platform::Clock& clock,
                                                   HalvardineSecurity& security, StateHandler stateHandler,
                                                   HalvardineRelayConnectorOptions options)
    : stateHandler_(std::make_shared<StateHandler>(std::move(stateHandler))),
      queue_(std::make_unique<platform::SerialQueue>("zb-relay")),
      core_(std::make_shared<Core>(queue_->executor(), std::move(mainExecutor), clock, security, stateHandler_,
                                   makeRelayTlsContext(options.trustedCertificatesPEM))) {}

HalvardineRelayConnector::~HalvardineRelayConnector() {
    stateHandler_.reset();
    // Close everything on the queue before it stops, so no timer or socket
    // outlives the queue's context; the queue never waits for the main loop.
    std::promise<void> stopped;
    queue_->post([core = core_, &stopped] {
        core->shutdown();
        stopped.set_value();
    });
    stopped.get_future().wait();
    core_.reset();
    queue_.reset();
}

void HalvardineRelayConnector::configure(std::optional<HalvardineRelayConfiguration> configuration) {
    queue_->post([weak = std::weak_ptr<Core>(core_), configuration = std::move(configuration)]() mutable {
        if (auto core = weak.lock()) core->configure(std::move(configuration));
    });
}

}  // namespace zentrabo
