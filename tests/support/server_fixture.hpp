#pragma once
// A server built as the application builds it, but on a temporary HOME, a
// manual clock and a relay recorder in place of the relay connector.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "server/halvardine_server.hpp"
#include "support/published_count.hpp"
#include "support/relay_recorder.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {

class ServerTest : public ::testing::Test {
protected:
    // The log appends only into an existing folder, as after installation.
    void SetUp() override { std::filesystem::create_directories(home.logFolder()); }

    // A new server with a fresh view of the stores, as after a restart of
    // the application.
    std::shared_ptr<HalvardineServer> makeServer() {
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        securities_.push_back(std::make_unique<HalvardineSecurity>(*defaults, clock));
        relay = std::make_shared<RelayRecord>();
        if (!desktop) desktop = platform::VirtualDesktop::create(desktopScenario.build(), clock);
        if (!loginItem) loginItem = std::make_shared<platform::XdgAutostartLoginItem>(serverProgram());
        HalvardineServerEnvironment environment{clock,
                                                *desktop,
                                                loginItem,
                                                mainLoop.executor(),
                                                defaults,
                                                *securities_.back(),
                                                recordingRelayFactory(relay),
                                                asio::ip::make_address("127.0.0.1"),
                                                advertisesService};
        environment.requestLimits = requestLimits;
        environment.networkThreadCount = networkThreadCount;
        environment.streamMediaStart = streamMediaStart;
        return HalvardineServer::create(std::move(environment));
    }

    // The identities of the temporary home, as the last server made sees them.
    HalvardineSecurity& security() { return *securities_.back(); }

    // The last configuration handed to the connector.
    const std::optional<HalvardineRelayConfiguration>& lastConfiguration() const {
        return relay->configurations.back();
    }

    // The program the login item starts: inside the temporary home, so a
    // test decides whether it exists.
    std::filesystem::path serverProgram() const { return home.path() / "bin/zentrabo-server"; }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    // The desktop the first server is made with; tests add what they need.
    platform::DesktopBuilder desktopScenario;
    std::shared_ptr<platform::VirtualDesktop> desktop;
    std::shared_ptr<platform::LoginItem> loginItem;
    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<RelayRecord> relay;
    // Only the advertisement tests announce the server.
    bool advertisesService = false;
    // Tests of the request limits lower them.
    RequestLimits requestLimits;
    // The network threads: the application's count unless a test names one.
    std::size_t networkThreadCount = ListenerLifecycle::defaultNetworkThreadCount();
    // What a stream starts after its permission check: capture, unless a
    // test names a start of its own.
    StreamMediaStart streamMediaStart = startCaptureMedia;

private:
    // Kept while the servers made with them may live.
    std::vector<std::unique_ptr<HalvardineSecurity>> securities_;
};

}  // namespace zentrabo::testing
