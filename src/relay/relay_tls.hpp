#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <memory>
#include <optional>
#include <string>

namespace zentrabo {

// Unlike the paired devices, the relay is a public server with a certificate
// from a certificate authority: its chain is verified against trust anchors
// and its name against the host we dialled.
//
// TLS 1.3 only, peer verification on. Trust anchors are the system's CA store,
// or only the PEM certificates given (a private relay, and the tests). Throws
// asio::system_error when OpenSSL refuses the settings or the certificates.
std::shared_ptr<asio::ssl::context> makeRelayTlsContext(const std::optional<std::string>& trustedCertificatesPEM);

// Per connection, before the handshake: the host name the relay's certificate
// must carry (an IP address literal must be among its addresses instead) and,
// for a name, the server name indication. Returns false when OpenSSL refuses.
bool prepareRelayTlsStream(SSL* ssl, const std::string& host);

// The message of a failed handshake: the certificate's verification failure
// when there was one, else the transport's error.
std::string relayHandshakeFailureMessage(SSL* ssl, const asio::error_code& error);

}  // namespace zentrabo
