#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include "fake_relay.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/json/json_reader.hpp"
#include "platform/store/user_defaults.hpp"
#include "relay/halvardine_relay_connector.hpp"
#include "security/halvardine_security.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using asio::ip::tcp;
using State = HalvardineRelayConnectionState;
using testing::FakeRelay;
using testing::FakeRelayConnection;
using testing::TestCertificateAuthority;
using testing::TestLoop;

std::vector<std::uint8_t> base64Decode(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.size());
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) return {};
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

// Checks the proof as a relay would: the signature over the canonical text
// with the public key that the registration carries.
bool proofVerifies(const std::string& deviceID, const std::string& publicKey, const std::string& signature,
                   std::int64_t signedAt) {
    const std::string text = "zentrabo-relay-register-v2\n" + deviceID + "\nzentrabo-server\n2\n" +
                             std::to_string(signedAt) + "\n" + publicKey;
    std::vector<std::uint8_t> point = base64Decode(publicKey);
    const std::vector<std::uint8_t> der = base64Decode(signature);
    if (point.size() != 65 || der.empty()) return false;

    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_utf8_string(builder, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(builder, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
    EVP_PKEY_CTX* keyContext = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    EVP_PKEY* key = nullptr;
    bool verified = EVP_PKEY_fromdata_init(keyContext) == 1 &&
                    EVP_PKEY_fromdata(keyContext, &key, EVP_PKEY_PUBLIC_KEY, params) == 1;
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    verified = verified && EVP_DigestVerifyInit(digest, nullptr, EVP_sha256(), nullptr, key) == 1 &&
               EVP_DigestVerify(digest, der.data(), der.size(), reinterpret_cast<const unsigned char*>(text.data()),
                                text.size()) == 1;
    EVP_MD_CTX_free(digest);
    EVP_PKEY_free(key);
    EVP_PKEY_CTX_free(keyContext);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(builder);
    return verified;
}

RelayTunnelID tunnelNumber(std::uint8_t number) {
    RelayTunnelID id{};
    id[0] = number;
    return id;
}

class RelayConnectorTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(home.logFolder()); }
    void TearDown() override { connector.reset(); }

    void makeConnector(std::optional<std::string> trusted) {
        connector = std::make_unique<HalvardineRelayConnector>(
            mainLoop.executor(), clock, security,
            [this](State state, const std::optional<std::string>& message) { reports.emplace_back(state, message); },
            HalvardineRelayConnectorOptions{std::move(trusted)});
    }

    HalvardineRelayConfiguration configuration(std::string host = "localhost") {
        return {true, std::move(host), relay.port(), 443, "device-1", "s3cret", localServer.local_endpoint().port()};
    }

    // Waits for the next report and returns it.
    std::pair<State, std::optional<std::string>> nextReport() {
        loop.until([&] { return reports.size() > seen_; });
        if (reports.size() <= seen_) return {State::disabled, "no report"};
        return reports[seen_++];
    }

    // A connector that has registered, and the relay's side of its connection.
    std::unique_ptr<FakeRelayConnection> connectAndRegister() {
        makeConnector(authority.authorityPEM);
        connector->configure(configuration());
        EXPECT_EQ(nextReport().first, State::connecting);
        auto connection = relay.accept();
        EXPECT_TRUE(connection && connection->readLine());
        EXPECT_EQ(nextReport(), std::make_pair(State::connected, std::optional<std::string>()));
        return connection;
    }

    tcp::socket acceptLocal() {
        tcp::socket socket(mainLoop.context());
        bool done = false;
        localServer.async_accept(socket, [&](asio::error_code) { done = true; });
        loop.until([&] { return done; });
        return socket;
    }

    testing::TemporaryHome home;  // the relay signing key and the log go there
    platform::MainLoop mainLoop;
    TestLoop loop{mainLoop.context()};
    platform::ManualClock clock;
    std::shared_ptr<platform::UserDefaults> defaults =
        platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
    HalvardineSecurity security{*defaults, clock};
    TestCertificateAuthority authority = TestCertificateAuthority::make("DNS:localhost,IP:127.0.0.1");
    FakeRelay relay{loop, authority};
    tcp::acceptor localServer{mainLoop.context(), {asio::ip::address_v4::loopback(), 0}};
    std::vector<std::pair<State, std::optional<std::string>>> reports;
    std::unique_ptr<HalvardineRelayConnector> connector;

private:
    std::size_t seen_ = 0;
};

TEST_F(RelayConnectorTest, RegistersWithASignedProofAndPipesTunnelsToTheLocalListener) {
    makeConnector(authority.authorityPEM);
    connector->configure(configuration());
    EXPECT_EQ(nextReport().first, State::connecting);
    auto connection = relay.accept();
    ASSERT_TRUE(connection);
    const auto line = connection->readLine();
    ASSERT_TRUE(line);

    const auto document = platform::JsonDocument::parse(*line);
    const auto object = document.root().asObject();
    ASSERT_TRUE(object);
    auto text = [&](std::string_view key) { return std::string(object->find(key)->asString().value_or("")); };
    EXPECT_EQ(text("deviceID"), "device-1");
    EXPECT_EQ(text("role"), "zentrabo-server");
    EXPECT_EQ(text("secret"), "s3cret");
    EXPECT_EQ(text("signatureAlgorithm"), "p256-x963-sha256");
    int version = 0;
    std::int64_t signedAt = 0;
    EXPECT_EQ(object->find("version")->getInteger(version), platform::JsonIntegerStatus::ok);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(object->find("signedAt")->getInteger(signedAt), platform::JsonIntegerStatus::ok);
    EXPECT_TRUE(proofVerifies("device-1", text("publicKey"), text("signature"), signedAt));
    EXPECT_FALSE(proofVerifies("device-2", text("publicKey"), text("signature"), signedAt));
    EXPECT_EQ(nextReport(), std::make_pair(State::connected, std::optional<std::string>()));

    // Two clients at once; the bytes are piped verbatim in both directions.
    connection->writeFrame(RelayFrameType::open, tunnelNumber(1));
    tcp::socket first = acceptLocal();
    connection->writeFrame(RelayFrameType::open, tunnelNumber(2));
    tcp::socket second = acceptLocal();
    connection->writeFrame(RelayFrameType::data, tunnelNumber(2), "to second");
    connection->writeFrame(RelayFrameType::data, tunnelNumber(1), "to first");
    std::string received(8, '\0');
    asio::read(first, asio::buffer(received));
    EXPECT_EQ(received, "to first");
    received.assign(9, '\0');
    asio::read(second, asio::buffer(received));
    EXPECT_EQ(received, "to second");

    asio::write(second, asio::buffer(std::string("from second")));
    auto frame = connection->readFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, RelayFrameType::data);
    EXPECT_EQ(frame->tunnelID, tunnelNumber(2));
    EXPECT_EQ(frame->payload, "from second");

    first.close();
    frame = connection->readFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, RelayFrameType::close);
    EXPECT_EQ(frame->tunnelID, tunnelNumber(1));

    const std::string log = home.logText();
    EXPECT_NE(log.find("Relay connected"), std::string::npos);
    EXPECT_EQ(log.find("s3cret"), std::string::npos);
}

TEST_F(RelayConnectorTest, ReconfiguringDropsTheConnectionAndEveryTunnel) {
    auto connection = connectAndRegister();
    connection->writeFrame(RelayFrameType::open, tunnelNumber(1));
    tcp::socket tunnel = acceptLocal();

    connector->configure(configuration());
    EXPECT_TRUE(connection->waitForEnd());
    char byte = 0;
    asio::error_code error;
    asio::read(tunnel, asio::buffer(&byte, 1), error);
    EXPECT_EQ(error, asio::error::eof);
    EXPECT_EQ(nextReport().first, State::connecting);
    auto second = relay.accept();
    ASSERT_TRUE(second && second->readLine());
    EXPECT_EQ(nextReport().first, State::connected);

    // Every call without a configuration reports "disabled", and nothing reconnects.
    connector->configure(std::nullopt);
    EXPECT_TRUE(second->waitForEnd());
    EXPECT_EQ(nextReport(), std::make_pair(State::disabled, std::optional<std::string>()));
    auto disabled = configuration();
    disabled.isEnabled = false;
    connector->configure(disabled);
    EXPECT_EQ(nextReport(), std::make_pair(State::disabled, std::optional<std::string>()));
    connector->configure(std::nullopt);
    EXPECT_EQ(nextReport(), std::make_pair(State::disabled, std::optional<std::string>()));
    EXPECT_EQ(clock.pendingCount(), 0u);

    // Reports still on their way when the connector goes are dropped.
    const std::size_t reported = reports.size();
    connector->configure(configuration());
    connector.reset();
    mainLoop.runReady();
    EXPECT_EQ(reports.size(), reported);
}

TEST_F(RelayConnectorTest, ARefusingRelayFailsAndIsRetriedAfterAGrowingDelay) {
    tcp::acceptor closed(mainLoop.context(), {asio::ip::address_v4::loopback(), 0});
    auto refused = configuration();
    refused.controlPort = closed.local_endpoint().port();
    closed.close();

    makeConnector(authority.authorityPEM);
    connector->configure(refused);
    EXPECT_EQ(nextReport().first, State::connecting);
    auto failure = nextReport();
    EXPECT_EQ(failure.first, State::failed);
    EXPECT_EQ(failure.second.value_or("").rfind("The relay could not be reached: ", 0), 0u);

    clock.advance(0.75);
    mainLoop.runReady();
    EXPECT_EQ(reports.size(), 2u);
    clock.advance(0.25);
    EXPECT_EQ(nextReport().first, State::connecting);
    EXPECT_EQ(nextReport().first, State::failed);
    clock.advance(1.5);  // the second wait is two seconds
    mainLoop.runReady();
    EXPECT_EQ(reports.size(), 4u);
    clock.advance(0.5);
    EXPECT_EQ(nextReport().first, State::connecting);
    EXPECT_EQ(nextReport().first, State::failed);
}

TEST_F(RelayConnectorTest, ARelayThatDisappearsIsReconnected) {
    auto connection = connectAndRegister();
    connection->writeFrame(RelayFrameType::open, tunnelNumber(1));
    tcp::socket tunnel = acceptLocal();
    connection->close();
    EXPECT_EQ(nextReport(),
              std::make_pair(State::failed, std::optional<std::string>("The relay closed the connection.")));
    char byte = 0;
    asio::error_code error;
    asio::read(tunnel, asio::buffer(&byte, 1), error);
    EXPECT_EQ(error, asio::error::eof);

    clock.advance(1.0);
    EXPECT_EQ(nextReport().first, State::connecting);
    auto again = relay.accept();
    ASSERT_TRUE(again && again->readLine());
    EXPECT_EQ(nextReport().first, State::connected);
}

TEST_F(RelayConnectorTest, AnOversizedFrameDropsTheConnectionWithoutWaitingForItsPayload) {
    auto connection = connectAndRegister();
    RelayFrameHeaderBytes header{};
    encodeRelayFrameHeader({RelayFrameType::data, tunnelNumber(1), 0xFFFFFFFFu}, header);
    connection->write({header.begin(), header.end()});
    EXPECT_TRUE(connection->waitForEnd());
    const auto report = nextReport();
    EXPECT_EQ(report.first, State::failed);
    EXPECT_NE(report.second.value_or("").find("4294967295 bytes"), std::string::npos);
}

TEST_F(RelayConnectorTest, RefusesARelayWhoseCertificateNamesAnotherHostOrIsUntrusted) {
    const auto elsewhere = TestCertificateAuthority::make("DNS:relay.example");
    FakeRelay otherRelay(loop, elsewhere);
    makeConnector(elsewhere.authorityPEM);
    auto wrongName = configuration();
    wrongName.controlPort = otherRelay.port();
    connector->configure(wrongName);
    EXPECT_EQ(nextReport().first, State::connecting);
    EXPECT_FALSE(otherRelay.accept());
    auto failure = nextReport();
    EXPECT_EQ(failure.first, State::failed);
    EXPECT_EQ(failure.second.value_or(""), "The relay's certificate was not accepted: hostname mismatch.");

    connector.reset();
    makeConnector(TestCertificateAuthority::make("DNS:localhost").authorityPEM);
    connector->configure(configuration());
    EXPECT_EQ(nextReport().first, State::connecting);
    EXPECT_FALSE(relay.accept());
    failure = nextReport();
    EXPECT_EQ(failure.first, State::failed);
    EXPECT_EQ(failure.second.value_or("").rfind("The relay's certificate was not accepted: ", 0), 0u);
}

TEST_F(RelayConnectorTest, ARelayThatNeverAnswersTimesOut) {
    makeConnector(authority.authorityPEM);
    connector->configure(configuration());
    EXPECT_EQ(nextReport().first, State::connecting);
    tcp::socket silent = relay.acceptSilently();
    clock.advance(20.0);
    EXPECT_EQ(nextReport(),
              std::make_pair(State::failed, std::optional<std::string>("The relay did not answer within 20 seconds.")));
}

}  // namespace
}  // namespace zentrabo
