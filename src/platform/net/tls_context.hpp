#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <asio/ssl/context.hpp>
#include <openssl/ssl.h>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"

namespace zentrabo::platform {

enum class TlsRole { server, client };

// Decides during the handshake whether the peer's leaf certificate is
// accepted; gets null when the peer presented none. It replaces chain,
// date and host-name evaluation entirely, so it must not throw.
using PeerCertificateCheck = std::function<bool(const Certificate* leaf)>;

// The TLS settings of one side, shared by its connections: TLS 1.3 only,
// the local certificate and key, every peer asked for a certificate and
// judged by the check alone, and no session resumption (no cache; the
// server sends one ticket after each handshake, a session id that names no
// session), so each connection proves its certificate afresh.
class TlsContext {
public:
    // Throws CryptoError when OpenSSL refuses the settings, the certificate or
    // the key (a key that does not belong to the certificate, say).
    static std::shared_ptr<TlsContext> make(TlsRole role, const EcPrivateKey& privateKey,
                                            const Certificate& certificate, PeerCertificateCheck check);

    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    TlsRole role() const noexcept { return role_; }
    asio::ssl::context& native() noexcept { return context_; }

    // Makes the handshake of `ssl`, one of this context's connections, store
    // the fingerprint of the peer certificate it accepts in `fingerprint`
    // (SHA-256 of its DER bytes, 64 lowercase hexadecimal digits), so the
    // certificate encoded for the check is not encoded and hashed again
    // after the handshake. `fingerprint` must outlive the handshake.
    static void recordAcceptedPeerFingerprint(SSL* ssl, std::optional<std::string>* fingerprint);

private:
    TlsContext(TlsRole role, PeerCertificateCheck check);
    static int verifyPeer(X509_STORE_CTX* store, void* self);

    TlsRole role_;
    asio::ssl::context context_;
    PeerCertificateCheck check_;
};

}  // namespace zentrabo::platform
