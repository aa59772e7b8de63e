#include "platform/net/tls_context.hpp"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "platform/crypto/crypto_error.hpp"

namespace zentrabo::platform {
namespace {

asio::ssl::context::method methodFor(TlsRole role) {
    return role == TlsRole::server ? asio::ssl::context::tls_server : asio::ssl::context::tls_client;
}

void require(int result, const char* operation) {
    if (result != 1) throw CryptoError(operation);
}

// The slot of a connection's SSL object where its handshake leaves the
// accepted peer's fingerprint; allocated once per process.
int acceptedFingerprintSlot() {
    static const int slot = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

std::optional<std::string>* acceptedFingerprintOf(X509_STORE_CTX* store) {
    const auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    if (ssl == nullptr || acceptedFingerprintSlot() < 0) return nullptr;
    return static_cast<std::optional<std::string>*>(SSL_get_ex_data(ssl, acceptedFingerprintSlot()));
}

}  // namespace

TlsContext::TlsContext(TlsRole role, PeerCertificateCheck check)
    : role_(role), context_(methodFor(role)), check_(std::move(check)) {}

std::shared_ptr<TlsContext> TlsContext::make(TlsRole role, const EcPrivateKey& privateKey,
                                             const Certificate& certificate, PeerCertificateCheck check) {
    std::shared_ptr<TlsContext> context(new TlsContext(role, std::move(check)));
    SSL_CTX* native = context->context_.native_handle();

    require(SSL_CTX_set_min_proto_version(native, TLS1_3_VERSION), "TLS minimum version");
    require(SSL_CTX_set_max_proto_version(native, TLS1_3_VERSION), "TLS maximum version");
    SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_OFF);
    if (role == TlsRole::server) {
        // The server speaks first after the handshake: a client that leaves
        // Nagle's algorithm on would otherwise hold its request back until
        // the server's delayed acknowledgement of its last handshake message.
        // One ticket does, and it is never accepted: it is a bare session
        // id (no session is encrypted into it, which would encode and decode
        // the client's certificate again for every connection) that names
        // no session, as the server keeps no session cache.
        SSL_CTX_set_options(native, SSL_OP_NO_TICKET);
        require(SSL_CTX_set_num_tickets(native, 1), "TLS session tickets");
    } else {
        SSL_CTX_set_options(native, SSL_OP_NO_TICKET);
        require(SSL_CTX_set_num_tickets(native, 0), "TLS session tickets");
    }

    // The certificate goes alone: the context holds no other certificate
    // to build a chain from, and without this OpenSSL would run a
    // verification of its own certificate at every handshake to find that
    // out again.
    SSL_CTX_set_mode(native, SSL_MODE_NO_AUTO_CHAIN);
    require(SSL_CTX_use_certificate(native, certificate.native()), "TLS certificate");
    require(SSL_CTX_use_PrivateKey(native, privateKey.native()), "TLS private key");
    require(SSL_CTX_check_private_key(native), "TLS key and certificate pairing");

    // The server asks every client for a certificate and refuses a handshake
    // without one; both sides hand the peer's certificate to the check instead
    // of evaluating a chain.
    const int mode = role == TlsRole::server
                         ? SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT | SSL_VERIFY_CLIENT_ONCE
                         : SSL_VERIFY_PEER;
    SSL_CTX_set_verify(native, mode, nullptr);
    SSL_CTX_set_cert_verify_callback(native, &TlsContext::verifyPeer, context.get());
    return context;
}

void TlsContext::recordAcceptedPeerFingerprint(SSL* ssl, std::optional<std::string>* fingerprint) {
    const int slot = acceptedFingerprintSlot();
    if (slot >= 0) SSL_set_ex_data(ssl, slot, fingerprint);
}

int TlsContext::verifyPeer(X509_STORE_CTX* store, void* self) {
    const auto& check = static_cast<TlsContext*>(self)->check_;
    bool accepted = false;
    try {
        const std::optional<Certificate> leaf = Certificate::fromNative(X509_STORE_CTX_get0_cert(store));
        accepted = check && check(leaf ? &*leaf : nullptr);
        if (auto* fingerprint = acceptedFingerprintOf(store); accepted && leaf && fingerprint != nullptr) {
            *fingerprint = leaf->sha256Fingerprint();
        }
    } catch (...) {
        accepted = false;  // a check that fails cannot vouch for the peer
    }
    if (!accepted) X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
    return accepted ? 1 : 0;
}

}  // namespace zentrabo::platform
