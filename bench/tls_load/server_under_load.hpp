#pragma once
// The real server object as the application builds it, on the real clock and
// a main-loop thread of its own, with the number of network threads given,
// listening on 127.0.0.1 with the load client's certificate paired. Its stores live in the HOME of the caller,
// which must be a temporary one.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

#include <asio/ip/address.hpp>
#include <asio/post.hpp>

#include "model/json/record_json.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/dispatch/thread_name.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_security.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo::bench {

class ServerUnderLoad {
public:
    // How long the listener may take to report its port.
    static constexpr auto startLimit = std::chrono::seconds(10);

    // Starts the server, pairs the client identity of the HOME as the device
    // "Load client" and waits for the listener's port.
    ServerUnderLoad(const std::filesystem::path& home, std::size_t networkThreads) {
        mainThread_ = std::thread([this] {
            platform::setCurrentThreadName("main loop");
            mainLoop_.run();
        });
        try {
            start(home, networkThreads);
        } catch (...) {
            stop();
            throw;
        }
    }

    ~ServerUnderLoad() { stop(); }
    ServerUnderLoad(const ServerUnderLoad&) = delete;
    ServerUnderLoad& operator=(const ServerUnderLoad&) = delete;

    std::uint16_t port() const { return *port_; }

    // The settings a device uses: its own identity, the server's pinned.
    std::shared_ptr<platform::TlsContext> clientContext() {
        return onMainLoop(
            [&] { return security_->clientParameters(security_->loadOrCreateIdentity(true).fingerprint); });
    }

    // The server's own TLS settings and certificate, for a reference
    // listener that must shake hands exactly as the server does.
    std::shared_ptr<platform::TlsContext> serverContext() {
        return onMainLoop([&] {
            return HalvardineSecurity::tlsParameters(platform::TlsRole::server, security_->loadOrCreateIdentity(true),
                                                     std::nullopt);
        });
    }

    // The reply line, with its line feed, that a "ping" with this id gets.
    std::string pingReply(const std::string& id) {
        return onMainLoop([&] { return encodeRecord(server_->replies().identityResponse(id, true)) + "\n"; });
    }

private:
    void start(const std::filesystem::path& home, std::size_t networkThreads) {
        onMainLoop([&] {
            defaults_ = platform::UserDefaults::create(clock_, defaultsWriter_.executor(), [](const std::string&) {});
            security_ = std::make_unique<HalvardineSecurity>(*defaults_, clock_);
            desktop_ = platform::VirtualDesktop::create(platform::defaultDesktopScenario(), clock_);
            HalvardineServerEnvironment environment{
                clock_,
                *desktop_,
                std::make_shared<platform::XdgAutostartLoginItem>(home / "bin/zentrabo-server"),
                mainLoop_.executor(),
                defaults_,
                *security_,
                makeRelayConnectorFactory(mainLoop_.executor(), clock_, *security_),
                asio::ip::make_address("127.0.0.1"),
                false};
            environment.networkThreadCount = networkThreads;
            server_ = HalvardineServer::create(std::move(environment));
            server_->authorization().completePairing(security_->loadOrCreateIdentity(false).fingerprint,
                                                     std::string("Load client"),
                                                     HalvardineExtraAuthorizationChannel::local);
        });
        const auto deadline = std::chrono::steady_clock::now() + startLimit;
        while (!(port_ = onMainLoop([&] { return *server_->listener().port(); }))) {
            if (std::chrono::steady_clock::now() > deadline) {
                throw std::runtime_error("the server did not report a listening port");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Runs the work on the main loop, where the server and its stores live,
    // and hands back its result or exception.
    template <class Work>
    auto onMainLoop(Work work) -> std::invoke_result_t<Work&> {
        using Result = std::invoke_result_t<Work&>;
        std::packaged_task<Result()> task(std::move(work));
        auto result = task.get_future();
        asio::post(mainLoop_.executor(), [&task] { task(); });
        return result.get();
    }

    void stop() {
        if (!mainThread_.joinable()) return;
        // The server's teardown closes its connections and waits for its
        // queue; it belongs on the main loop like every other call.
        onMainLoop([&] {
            server_.reset();
            security_.reset();
            desktop_.reset();
            if (defaults_) defaults_->flush();
            defaults_.reset();
        });
        mainLoop_.stop();
        mainThread_.join();
    }

    platform::SystemClock clock_;
    platform::MainLoop mainLoop_;
    // Batched settings writes, off the main loop.
    platform::SerialQueue defaultsWriter_{"defaults"};
    std::shared_ptr<platform::UserDefaults> defaults_;
    std::unique_ptr<HalvardineSecurity> security_;
    std::shared_ptr<platform::VirtualDesktop> desktop_;
    std::shared_ptr<HalvardineServer> server_;
    std::optional<std::uint16_t> port_;
    std::thread mainThread_;
};

}  // namespace zentrabo::bench
