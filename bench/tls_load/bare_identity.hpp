#pragma once
// A P-256 key and a self-signed certificate made with OpenSSL alone, kept as
// PEM files, and the TLS 1.3 contexts of the bare reference server and of the
// load generator built on them. Nothing here is the server's code, so the
// reference measures what OpenSSL costs, not what we cost.
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace zentrabo::bench {

struct BareIdentityFiles {
    std::filesystem::path key;
    std::filesystem::path certificate;
};

namespace detail {

inline void require(bool done, const char* what) {
    if (!done) throw std::runtime_error(std::string("OpenSSL: ") + what);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

inline File openFile(const std::filesystem::path& path, const char* mode) {
    File file(std::fopen(path.c_str(), mode));
    require(file != nullptr, "open PEM file");
    return file;
}

}  // namespace detail

// Writes a fresh P-256 key (owner-only) and a certificate for it, signed by
// itself, into `folder`.
inline BareIdentityFiles makeBareIdentity(const std::filesystem::path& folder, const std::string& commonName) {
    using detail::require;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    require(key != nullptr, "P-256 key");
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    require(certificate != nullptr, "certificate");
    require(X509_set_version(certificate.get(), 2) == 1, "certificate version");
    require(ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1) == 1, "serial number");
    require(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) != nullptr, "not before");
    require(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600) != nullptr, "not after");
    X509_NAME* name = X509_get_subject_name(certificate.get());
    require(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0) == 1,
            "common name");
    require(X509_set_issuer_name(certificate.get(), name) == 1, "issuer");
    require(X509_set_pubkey(certificate.get(), key.get()) == 1, "public key");
    require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "signature");

    BareIdentityFiles files{folder / (commonName + ".key"), folder / (commonName + ".crt")};
    {
        const auto file = detail::openFile(files.key, "wb");
        std::filesystem::permissions(files.key,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        require(PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1, "write key");
    }
    const auto file = detail::openFile(files.certificate, "wb");
    require(PEM_write_X509(file.get(), certificate.get()) == 1, "write certificate");
    return files;
}

using BareContext = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;

// TLS 1.3 only, with the identity of the files, no session cache. The server
// requires a client certificate and accepts any (the check itself is not what
// is measured) and sends one ticket after the handshake, a bare session id,
// as our server does; the client sends its certificate, accepts any server
// and keeps no tickets.
// In the library context given, or OpenSSL's default one.
inline BareContext makeBareContext(bool server, const BareIdentityFiles& identity, OSSL_LIB_CTX* library = nullptr) {
    using detail::require;
    BareContext context(SSL_CTX_new_ex(library, nullptr, server ? TLS_server_method() : TLS_client_method()),
                        SSL_CTX_free);
    require(context != nullptr, "context");
    SSL_CTX* native = context.get();
    require(SSL_CTX_set_min_proto_version(native, TLS1_3_VERSION) == 1, "minimum version");
    require(SSL_CTX_set_max_proto_version(native, TLS1_3_VERSION) == 1, "maximum version");
    SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_OFF);
    require(SSL_CTX_use_certificate_file(native, identity.certificate.c_str(), SSL_FILETYPE_PEM) == 1, "certificate");
    require(SSL_CTX_use_PrivateKey_file(native, identity.key.c_str(), SSL_FILETYPE_PEM) == 1, "key");
    require(SSL_CTX_check_private_key(native) == 1, "key pairing");
    // Any certificate passes, without building a chain for it.
    SSL_CTX_set_cert_verify_callback(
        native, [](X509_STORE_CTX*, void*) { return 1; }, nullptr);
    SSL_CTX_set_options(native, SSL_OP_NO_TICKET);
    if (server) {
        require(SSL_CTX_set_num_tickets(native, 1) == 1, "tickets");
        SSL_CTX_set_verify(native, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    } else {
        SSL_CTX_set_verify(native, SSL_VERIFY_PEER, nullptr);
    }
    return context;
}

}  // namespace zentrabo::bench
