// The server announces its listener by DNS-SD, as a phone on the network
// finds it. scripts/test.sh runs a DNS-SD daemon on loopback inside the
// tests' private network namespace and sets ZENTRABO_REQUIRE_DNSSD; elsewhere
// this test skips when no daemon answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/connection/loopback_server_fixture.hpp"
#include "platform/net/dnssd_browser.hpp"

namespace zentrabo::testing {
namespace {

using platform::DnsServiceInstance;
using platform::ResolvedDnsService;

class ServiceAdvertisementTest : public LoopbackServerTest {
protected:
    void SetUp() override {
        // Browse first: a browse fails at once when no daemon (or no system
        // bus) answers.
        std::optional<std::error_code> browseFailure;
        browser_.start(std::string(HalvardineProtocol::serviceType),
                       [this, &browseFailure](std::error_code error, const DnsServiceInstance& instance, bool added) {
                           if (error) {
                               browseFailure = error;
                           } else if (added) {
                               resolve(instance);
                           } else {
                               present_.erase(instance.name);
                           }
                       });
        mainLoop.runReady();
        if (browseFailure) {
            if (std::getenv("ZENTRABO_REQUIRE_DNSSD") != nullptr) {
                FAIL() << "DNS-SD daemon unreachable: " << browseFailure->message();
            }
            GTEST_SKIP() << "no DNS-SD daemon reachable: " << browseFailure->message();
        }
        advertisesService = true;
        LoopbackServerTest::SetUp();
    }

    // Resolves every instance that appears, so the server's own can be told
    // by its port from any other server announced on this machine.
    void resolve(const DnsServiceInstance& instance) {
        present_[instance.name] = instance;
        auto resolver = std::make_unique<platform::DnsServiceResolver>(mainLoop.executor());
        resolver->start(instance, [this, instance](std::error_code error, const ResolvedDnsService& service) {
            if (!error) resolved_[instance.name] = service;
        });
        resolvers_.push_back(std::move(resolver));
    }

    // The name under which an instance listening on the port was resolved.
    std::optional<std::string> instanceOnPort(std::uint16_t wanted) const {
        for (const auto& [name, service] : resolved_) {
            if (service.port == wanted && present_.count(name)) return name;
        }
        return std::nullopt;
    }

    platform::DnsServiceBrowser browser_{mainLoop.executor()};
    std::vector<std::unique_ptr<platform::DnsServiceResolver>> resolvers_;
    std::map<std::string, DnsServiceInstance> present_;
    std::map<std::string, ResolvedDnsService> resolved_;
};

TEST_F(ServiceAdvertisementTest,
       ListenerIsFoundWithExactlyItsFingerprintAndVersionsFollowsARestartAndGoesWithTheServer) {
    ASSERT_TRUE(runMainLoopUntil([&] { return instanceOnPort(port).has_value(); }))
        << "no instance of " << HalvardineProtocol::serviceType << " on port " << port;
    const std::string name = *instanceOnPort(port);
    EXPECT_EQ(name.rfind(*server->listener().serviceName(), 0), 0u) << name;

    const platform::DnsServiceTxt expected{
        {"fp", **server->listener().serverCertificateFingerprint()}, {"pv", "22"}, {"minClientPV", "1"}};
    EXPECT_EQ(resolved_.at(name).txt, expected);
    EXPECT_EQ(server->listener().serverCertificateFingerprint()->value().size(), 64u);

    // A restarted listener is announced on its new port in place of the old.
    server->restart();
    ASSERT_TRUE(runMainLoopUntil([&] { return server->listener().port()->has_value(); }));
    const std::uint16_t newPort = **server->listener().port();
    ASSERT_TRUE(runMainLoopUntil([&] { return instanceOnPort(newPort).has_value(); }))
        << "not announced again on port " << newPort;
    EXPECT_TRUE(newPort == port || runMainLoopUntil([&] { return !instanceOnPort(port).has_value(); }))
        << "still announced on the old port " << port;
    const std::string renewed = *instanceOnPort(newPort);
    EXPECT_EQ(resolved_.at(renewed).txt, expected);

    // A server that is gone is no longer announced.
    server.reset();
    EXPECT_TRUE(runMainLoopUntil([&] { return present_.count(renewed) == 0; })) << renewed << " still announced";
}

}  // namespace
}  // namespace zentrabo::testing
