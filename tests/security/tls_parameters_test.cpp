#include <algorithm>
#include <cctype>
#include <vector>

#include <asio/ssl/error.hpp>
#include <asio/ssl/stream.hpp>
#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"
#include "tls_loopback.hpp"

namespace zentrabo {
namespace {

using platform::TlsRole;
using testing::LoopbackOutcome;
using testing::makeIdentity;
using testing::SideOutcome;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string separated(const std::string& hex, const char* separator) {
    std::string text;
    for (std::size_t index = 0; index < hex.size(); index += 2) {
        if (index != 0) text += separator;
        text += hex.substr(index, 2);
    }
    return text;
}

class TlsParameters : public ::testing::Test {
protected:
    TlsIdentity server = makeIdentity("Zentrabo Server");
    TlsIdentity client = makeIdentity("Zentrabo Client");

    LoopbackOutcome connect(std::optional<std::string_view> pin) {
        return testing::runLoopback(
            HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt),
            testing::clientWith(HalvardineSecurity::tlsParameters(TlsRole::client, client, pin)));
    }

    void expectConnected(const LoopbackOutcome& outcome) {
        ASSERT_TRUE(outcome.server.finished && outcome.client.finished);
        EXPECT_FALSE(outcome.server.handshakeError) << outcome.server.handshakeError.message();
        EXPECT_FALSE(outcome.client.handshakeError) << outcome.client.handshakeError.message();
        EXPECT_EQ(outcome.client.received, testing::serverGreeting);
        EXPECT_EQ(outcome.client.readError, asio::error::eof);
        EXPECT_EQ(outcome.server.peerFingerprint, client.fingerprint);
        EXPECT_EQ(outcome.client.peerFingerprint, server.fingerprint);
    }
};

TEST_F(TlsParameters, PinnedClientAcceptsItsServerInEverySpelling) {
    const std::string& exact = server.fingerprint;
    for (const std::string& pin : {exact, upper(exact), separated(upper(exact), ":") + "\n", separated(exact, " "),
                                   "  " + separated(exact, ": ") + " \t"}) {
        SCOPED_TRACE(pin);
        expectConnected(connect(pin));
    }
}

TEST_F(TlsParameters, BlankPinAcceptsAnyServer) {
    for (const std::optional<std::string_view> pin :
         {std::optional<std::string_view>{}, std::optional<std::string_view>{""},
          std::optional<std::string_view>{" : :\n"}}) {
        expectConnected(connect(pin));
    }
}

TEST_F(TlsParameters, PinnedClientRefusesAnotherServer) {
    const LoopbackOutcome outcome = connect(makeIdentity("Zentrabo Server").fingerprint);
    ASSERT_TRUE(outcome.server.finished && outcome.client.finished);
    EXPECT_TRUE(outcome.client.handshakeError);
    EXPECT_TRUE(outcome.server.handshakeError);
    EXPECT_TRUE(outcome.client.received.empty());
    // A refused handshake leaves neither side a peer to go by.
    EXPECT_EQ(outcome.client.peerFingerprint, std::nullopt);
    EXPECT_EQ(outcome.server.peerFingerprint, std::nullopt);
}

// A client context of our own making, for clients the real settings never produce.
testing::ClientCoroutine rawClient(std::shared_ptr<asio::ssl::context> context) {
    return [context](asio::ip::tcp::endpoint endpoint, SideOutcome& outcome) -> asio::awaitable<void> {
        asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
        co_await socket.async_connect(endpoint, asio::use_awaitable);
        asio::ssl::stream<asio::ip::tcp::socket> stream(std::move(socket), *context);
        auto [error] = co_await stream.async_handshake(asio::ssl::stream_base::client,
                                                       asio::experimental::as_tuple(asio::use_awaitable));
        outcome.handshakeError = error;
        if (!error) {
            char buffer[64];
            auto [readError, count] = co_await stream.async_read_some(
                asio::buffer(buffer), asio::experimental::as_tuple(asio::use_awaitable));
            outcome.received.assign(buffer, count);
            outcome.readError = readError;
        }
        outcome.finished = true;
    };
}

TEST_F(TlsParameters, ServerRefusesTls12) {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
    SSL_CTX_set_max_proto_version(context->native_handle(), TLS1_2_VERSION);
    SSL_CTX_use_certificate(context->native_handle(), client.certificate.native());
    SSL_CTX_use_PrivateKey(context->native_handle(), client.privateKey.native());
    const LoopbackOutcome outcome = testing::runLoopback(
        HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt), rawClient(context));
    ASSERT_TRUE(outcome.server.finished && outcome.client.finished);
    EXPECT_TRUE(outcome.server.handshakeError);
    EXPECT_FALSE(outcome.server.peerFingerprint.has_value());
    EXPECT_TRUE(outcome.client.handshakeError);
}

TEST_F(TlsParameters, ServerRefusesAClientWithoutCertificate) {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
    const LoopbackOutcome outcome = testing::runLoopback(
        HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt), rawClient(context));
    ASSERT_TRUE(outcome.server.finished && outcome.client.finished);
    EXPECT_TRUE(outcome.server.handshakeError);
    EXPECT_FALSE(outcome.server.peerFingerprint.has_value());
    // In TLS 1.3 the client learns of the refusal only when it reads.
    EXPECT_TRUE(outcome.client.received.empty());
}

// The tickets a client received, kept by the client context's callback.
std::vector<SSL_SESSION*> receivedTickets;

int keepTicket(SSL*, SSL_SESSION* session) {
    receivedTickets.push_back(session);
    return 1;  // the callback owns the session now
}

TEST_F(TlsParameters, ServerSendsOneTicketAfterEachHandshakeAndResumesNone) {
    // A client that keeps tickets and offers the last one it got.
    auto clientContext = HalvardineSecurity::tlsParameters(TlsRole::client, client, std::nullopt);
    SSL_CTX* native = clientContext->native().native_handle();
    SSL_CTX_clear_options(native, SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(native, keepTicket);
    const auto serverContext = HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt);
    std::vector<bool> resumed;
    const auto connect = [&](asio::ip::tcp::endpoint endpoint, SideOutcome& side) -> asio::awaitable<void> {
        asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
        co_await socket.async_connect(endpoint, asio::use_awaitable);
        asio::ssl::stream<asio::ip::tcp::socket> stream(std::move(socket), clientContext->native());
        if (!receivedTickets.empty()) SSL_set_session(stream.native_handle(), receivedTickets.back());
        co_await stream.async_handshake(asio::ssl::stream_base::client, asio::use_awaitable);
        char buffer[64];
        auto [error, count] =
            co_await stream.async_read_some(asio::buffer(buffer), asio::experimental::as_tuple(asio::use_awaitable));
        side.received.assign(buffer, count);
        resumed.push_back(SSL_session_reused(stream.native_handle()) == 1);
        side.finished = true;
    };
    for (std::size_t connection = 1; connection <= 2; ++connection) {
        const LoopbackOutcome outcome = testing::runLoopback(serverContext, connect);
        ASSERT_TRUE(outcome.client.finished);
        EXPECT_EQ(outcome.client.received, testing::serverGreeting);
        EXPECT_EQ(receivedTickets.size(), connection) << "one ticket before the server's first bytes";
        // Proven afresh: the certificate was asked for and checked again.
        EXPECT_EQ(outcome.server.peerFingerprint, client.fingerprint);
    }
    EXPECT_EQ(resumed, (std::vector<bool>{false, false}));
    for (SSL_SESSION* ticket : receivedTickets) SSL_SESSION_free(ticket);
    receivedTickets.clear();
}

TEST_F(TlsParameters, EndOfStreamWithoutCloseNotifyIsEndOfStream) {
    const LoopbackOutcome outcome = testing::runLoopback(
        HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt),
        testing::clientWith(HalvardineSecurity::tlsParameters(TlsRole::client, client, std::nullopt)),
        /*truncate=*/true);
    ASSERT_TRUE(outcome.client.finished);
    EXPECT_EQ(outcome.client.received, testing::serverGreeting);
    EXPECT_EQ(outcome.client.readError, asio::error::eof);
}

TEST_F(TlsParameters, ServerChainIsJudgedByItsLeaf) {
    auto serverContext = HalvardineSecurity::tlsParameters(TlsRole::server, server, std::nullopt);
    const TlsIdentity extra = makeIdentity("Zentrabo Server");
    ASSERT_EQ(SSL_CTX_add1_chain_cert(serverContext->native().native_handle(), extra.certificate.native()), 1);
    const LoopbackOutcome outcome = testing::runLoopback(
        serverContext,
        testing::clientWith(HalvardineSecurity::tlsParameters(TlsRole::client, client, server.fingerprint)));
    EXPECT_FALSE(outcome.client.handshakeError) << outcome.client.handshakeError.message();
    EXPECT_EQ(outcome.client.peerFingerprint, server.fingerprint);

    const LoopbackOutcome pinnedToSecond = testing::runLoopback(
        serverContext,
        testing::clientWith(HalvardineSecurity::tlsParameters(TlsRole::client, client, extra.fingerprint)));
    EXPECT_TRUE(pinnedToSecond.client.handshakeError);
}

TEST_F(TlsParameters, KeyThatDoesNotFitTheCertificateIsRefused) {
    TlsIdentity mismatched{platform::EcPrivateKey::generate(), server.certificate, server.fingerprint};
    try {
        (void)HalvardineSecurity::tlsParameters(TlsRole::server, mismatched, std::nullopt);
        FAIL() << "expected HalvardineSecurityError";
    } catch (const HalvardineSecurityError& error) {
        EXPECT_EQ(error.errorCase(), HalvardineSecurityError::Case::identityUnavailable);
    }
}

TEST(Fingerprint, NormalisationAndDecision) {
    EXPECT_EQ(HalvardineSecurity::normalizedFingerprint(" AB:cd EF\r\n"), "abcdef");
    EXPECT_EQ(HalvardineSecurity::normalizedFingerprint(" : \t"), std::nullopt);
    EXPECT_EQ(HalvardineSecurity::normalizedFingerprint(""), std::nullopt);

    const TlsIdentity identity = makeIdentity("Zentrabo Server");
    const platform::Certificate* leaf = &identity.certificate;
    EXPECT_FALSE(HalvardineSecurity::verify(nullptr, true, std::nullopt));
    EXPECT_TRUE(HalvardineSecurity::verify(nullptr, false, std::nullopt));
    EXPECT_FALSE(HalvardineSecurity::verify(nullptr, false, identity.fingerprint));
    EXPECT_TRUE(HalvardineSecurity::verify(leaf, true, std::nullopt));
    EXPECT_TRUE(HalvardineSecurity::verify(leaf, true, identity.fingerprint));
    EXPECT_FALSE(HalvardineSecurity::verify(leaf, true, upper(identity.fingerprint)));
}

}  // namespace
}  // namespace zentrabo
