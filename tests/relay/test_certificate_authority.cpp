#include "test_certificate_authority.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace zentrabo::testing {

namespace {

struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
    void operator()(BIO* bio) const { BIO_free(bio); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    check(extension && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

Owned<X509> makeCertificate(const char* commonName, EVP_PKEY* key, X509* issuer, long serial) {
    Owned<X509> certificate(X509_new());
    check(certificate && X509_set_version(certificate.get(), 2) == 1, "version");
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                               0);
    check(X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer ? issuer : certificate.get())) == 1,
          "issuer");
    check(X509_set_pubkey(certificate.get(), key) == 1, "public key");
    return certificate;
}

std::string pem(X509* certificate) {
    Owned<BIO> bio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_X509(bio.get(), certificate) == 1, "PEM");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string pem(EVP_PKEY* key) {
    Owned<BIO> bio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key PEM");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

TestCertificateAuthority TestCertificateAuthority::make(const std::string& subjectAlternativeNames) {
    Owned<EVP_PKEY> authorityKey(EVP_EC_gen("P-256"));
    Owned<EVP_PKEY> serverKey(EVP_EC_gen("P-256"));
    check(authorityKey && serverKey, "key generation");

    Owned<X509> authority = makeCertificate("Zentrabo Test Relay Authority", authorityKey.get(), nullptr, 1);
    addExtension(authority.get(), authority.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(authority.get(), authority.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(authority.get(), authority.get(), NID_subject_key_identifier, "hash");
    check(X509_sign(authority.get(), authorityKey.get(), EVP_sha256()) > 0, "authority signature");

    Owned<X509> server = makeCertificate("Zentrabo Test Relay", serverKey.get(), authority.get(), 2);
    addExtension(server.get(), authority.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server.get(), authority.get(), NID_ext_key_usage, "serverAuth");
    addExtension(server.get(), authority.get(), NID_subject_alt_name, subjectAlternativeNames);
    check(X509_sign(server.get(), authorityKey.get(), EVP_sha256()) > 0, "server signature");

    return {pem(authority.get()), pem(server.get()), pem(serverKey.get())};
}

}  // namespace zentrabo::testing
