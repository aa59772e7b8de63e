#include "relay/relay_tls.hpp"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace zentrabo {

std::shared_ptr<asio::ssl::context> makeRelayTlsContext(const std::optional<std::string>& trustedCertificatesPEM) {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
    SSL_CTX* native = context->native_handle();
    if (SSL_CTX_set_min_proto_version(native, TLS1_3_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(native, TLS1_3_VERSION) != 1) {
        throw asio::system_error(asio::error::invalid_argument, "TLS 1.3 unavailable");
    }
    context->set_verify_mode(asio::ssl::verify_peer);
    if (trustedCertificatesPEM) {
        context->add_certificate_authority(asio::buffer(*trustedCertificatesPEM));
    } else {
        context->set_default_verify_paths();
    }
    return context;
}

bool prepareRelayTlsStream(SSL* ssl, const std::string& host) {
    asio::error_code notAnAddress;
    asio::ip::make_address(host, notAnAddress);
    if (!notAnAddress) {
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    }
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set1_host(ssl, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
}

std::string relayHandshakeFailureMessage(SSL* ssl, const asio::error_code& error) {
    const long verification = SSL_get_verify_result(ssl);
    if (verification != X509_V_OK) {
        return std::string("The relay's certificate was not accepted: ") + X509_verify_cert_error_string(verification) +
               ".";
    }
    return "The TLS handshake with the relay failed: " + error.message() + ".";
}

}  // namespace zentrabo
