// Advertises and browses through the real DNS-SD daemon. scripts/test.sh runs
// one on loopback inside the tests' private network namespace and sets
// ZENTRABO_REQUIRE_DNSSD; elsewhere these tests skip when no daemon answers.

#include "platform/net/dnssd_advertiser.hpp"
#include "platform/net/dnssd_browser.hpp"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {
namespace {

constexpr const char* serviceType = "_halvardine._tcp";
// The daemon probes a new name for about a second before announcing it.
constexpr auto discoveryLimit = std::chrono::seconds(20);

class DnsServiceDiscoveryTest : public testing::Test {
protected:
    void SetUp() override {
        // A browse fails at once when no daemon (or no system bus) answers.
        std::optional<std::error_code> browseFailure;
        browser_.start(serviceType, [&](std::error_code error, const DnsServiceInstance& instance, bool added) {
            if (error) {
                browseFailure = error;
            } else if (added) {
                instances_.push_back(instance);
            } else {
                std::erase_if(instances_, [&](const auto& known) { return known.name == instance.name; });
            }
        });
        io_.poll();
        if (browseFailure) {
            if (std::getenv("ZENTRABO_REQUIRE_DNSSD") != nullptr) {
                FAIL() << "DNS-SD daemon unreachable: " << browseFailure->message();
            }
            GTEST_SKIP() << "no DNS-SD daemon reachable: " << browseFailure->message();
        }
        acceptor_.bind({asio::ip::address_v4::loopback(), 0});
        acceptor_.listen();
    }

    // Runs the loop until `done` holds, for at most discoveryLimit.
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + discoveryLimit;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            io_.restart();
            io_.run_one_for(std::chrono::milliseconds(100));
        }
        return done();
    }

    bool browsed(const std::string& name) const {
        return std::any_of(instances_.begin(), instances_.end(),
                           [&](const auto& instance) { return instance.name == name; });
    }

    const DnsServiceInstance* instanceNamed(const std::string& name) const {
        for (const auto& instance : instances_) {
            if (instance.name == name) {
                return &instance;
            }
        }
        return nullptr;
    }

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

    static std::string uniqueName(const std::string& stem) { return stem + " " + std::to_string(getpid()); }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_{io_, asio::ip::tcp::v4()};
    DnsServiceBrowser browser_{io_.get_executor()};
    std::vector<DnsServiceInstance> instances_;
};

TEST_F(DnsServiceDiscoveryTest, AdvertisedServiceIsFoundWithItsPortAndTxtRecord) {
    const std::string name = uniqueName("Discovery Zentrabo");
    const DnsServiceTxt txt{{"fp", std::string(64, 'c')}, {"pv", "22"}, {"minClientPV", "1"}};
    DnsServiceAdvertiser advertiser(io_.get_executor());
    std::optional<std::error_code> registration;
    std::string registeredName;
    advertiser.start({name, serviceType, port(), txt}, [&](std::error_code error, const std::string& registered) {
        registration = error;
        registeredName = registered;
    });

    ASSERT_TRUE(runUntil([&] { return registration.has_value(); }));
    ASSERT_FALSE(*registration) << registration->message();
    EXPECT_EQ(registeredName, name);
    ASSERT_TRUE(runUntil([&] { return browsed(name); }));

    const DnsServiceInstance instance = *instanceNamed(name);
    EXPECT_EQ(instance.type.rfind(serviceType, 0), 0u) << instance.type;
    DnsServiceResolver resolver(io_.get_executor());
    std::optional<ResolvedDnsService> resolved;
    resolver.start(instance, [&](std::error_code error, const ResolvedDnsService& service) {
        ASSERT_FALSE(error) << error.message();
        resolved = service;
    });
    ASSERT_TRUE(runUntil([&] { return resolved.has_value(); }));
    EXPECT_EQ(resolved->port, port());
    EXPECT_EQ(resolved->txt, txt);
    EXPECT_FALSE(resolved->hostTarget.empty());
}

TEST_F(DnsServiceDiscoveryTest, StoppedAdvertisementIsWithdrawnAndReportsNothingMore) {
    const std::string name = uniqueName("Withdrawn Zentrabo");
    int reports = 0;
    {
        DnsServiceAdvertiser advertiser(io_.get_executor());
        advertiser.start({name, serviceType, port(), {}}, [&](std::error_code, const std::string&) { ++reports; });
        ASSERT_TRUE(runUntil([&] { return browsed(name); }));
        advertiser.stop();
        const int reportsAtStop = reports;
        ASSERT_TRUE(runUntil([&] { return !browsed(name); }));
        EXPECT_EQ(reports, reportsAtStop);
    }
}

TEST_F(DnsServiceDiscoveryTest, OverlongNameIsShortenedAtACharacterBoundary) {
    // 60 ASCII bytes and then two-byte characters: byte 63 falls inside one.
    std::string name = uniqueName("Long");
    name.resize(60, 'x');
    for (int i = 0; i < 5; ++i) {
        name += "\xC3\xA9";  // é
    }
    DnsServiceAdvertiser advertiser(io_.get_executor());
    std::optional<std::error_code> registration;
    std::string registeredName;
    advertiser.start({name, serviceType, port(), {}}, [&](std::error_code error, const std::string& registered) {
        registration = error;
        registeredName = registered;
    });
    ASSERT_TRUE(runUntil([&] { return registration.has_value(); }));
    ASSERT_FALSE(*registration) << registration->message();
    EXPECT_EQ(registeredName, name.substr(0, 62));
    EXPECT_TRUE(runUntil([&] { return browsed(registeredName); }));
}

TEST_F(DnsServiceDiscoveryTest, NameThatIsTakenGivesWayToANumberedOneWithinALabel) {
    // As long as a DNS label allows, so the number must push the name's end out.
    std::string name = uniqueName("Clash");
    name.resize(63, 'x');
    const std::string renamed = name.substr(0, 59) + " (2)";
    // Another server: records that merely repeat the first would be no conflict.
    const std::uint16_t otherPort = port() == 9 ? 10 : 9;
    DnsServiceAdvertiser first(io_.get_executor());
    DnsServiceAdvertiser second(io_.get_executor());
    std::optional<std::error_code> firstResult;
    std::optional<std::error_code> secondResult;
    std::string secondName;
    first.start({name, serviceType, port(), {}},
                [&](std::error_code error, const std::string&) { firstResult = error; });
    ASSERT_TRUE(runUntil([&] { return firstResult.has_value(); }));
    ASSERT_FALSE(*firstResult) << firstResult->message();
    second.start({name, serviceType, otherPort, {}}, [&](std::error_code error, const std::string& registered) {
        secondResult = error;
        secondName = registered;
    });
    ASSERT_TRUE(runUntil([&] { return secondResult.has_value(); }));
    ASSERT_FALSE(*secondResult) << secondResult->message();
    EXPECT_EQ(secondName, renamed);
    EXPECT_TRUE(runUntil([&] { return browsed(name) && browsed(renamed); }));
}

// Without a daemon the library refuses at once; with one it refuses the type.
TEST(DnsServiceAdvertiser, RefusalIsReportedLaterNotThrown) {
    asio::io_context io;
    DnsServiceAdvertiser advertiser(io.get_executor());
    std::optional<std::error_code> registration;
    advertiser.start({"Refused", "not a service type", 9, {}},
                     [&](std::error_code error, const std::string&) { registration = error; });
    EXPECT_FALSE(registration.has_value());
    io.run_for(discoveryLimit);
    ASSERT_TRUE(registration.has_value());
    EXPECT_TRUE(*registration);
}

}  // namespace
}  // namespace zentrabo::platform
