#include <algorithm>

#include "platform/crypto/crypto_error.hpp"
#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {
namespace {

using platform::KeyStoreStatus;

std::string roleName(bool server) { return server ? "server" : "client"; }
std::string capitalizedRoleName(bool server) { return server ? "Server" : "Client"; }

std::string keyTag(bool server) { return std::string(identifierPrefix) + ".tls." + roleName(server) + ".key"; }

std::string certificateCopyKey(bool server) {
    return std::string(identifierPrefix) + ".tls." + roleName(server) + ".certificate";
}

std::string commonName(bool server) { return "Zentrabo " + capitalizedRoleName(server); }

[[noreturn]] void throwStoreFailure(const platform::KeyStore& keyStore, KeyStoreStatus status) {
    throw HalvardineSecurityError::identityUnavailable(keyStore.describeFailure(status));
}

}  // namespace

std::string HalvardineSecurity::identityLabel(bool server) {
    return "Zentrabo " + capitalizedRoleName(server) + " TLS Identity";
}

platform::EcPrivateKey HalvardineSecurity::loadOrCreateTLSPrivateKey(bool server) {
    std::optional<platform::EcPrivateKey> key;
    const KeyStoreStatus found = keyStore_.findKey(keyTag(server), key);
    if (found == KeyStoreStatus::success) return std::move(*key);
    if (found != KeyStoreStatus::itemNotFound) throwStoreFailure(keyStore_, found);
    try {
        platform::EcPrivateKey created = platform::EcPrivateKey::generate();
        const KeyStoreStatus added = keyStore_.addKey(keyTag(server), identityLabel(server), created);
        if (added != KeyStoreStatus::success) throwStoreFailure(keyStore_, added);
        return created;
    } catch (const platform::CryptoError& error) {
        throw HalvardineSecurityError::identityUnavailable(error.what());
    }
}

std::vector<platform::Certificate> HalvardineSecurity::candidateCertificates(bool server) {
    std::vector<platform::Certificate> stored;
    const KeyStoreStatus status = keyStore_.findCertificates(identityLabel(server), stored);
    if (status != KeyStoreStatus::success && status != KeyStoreStatus::itemNotFound) {
        throwStoreFailure(keyStore_, status);
    }
    if (const auto copy = defaults_->data(certificateCopyKey(server))) {
        if (auto certificate = platform::Certificate::fromDer(*copy)) {
            stored.push_back(std::move(*certificate));
        }
    }
    // One candidate per distinct certificate, in the order found.
    std::vector<platform::Certificate> candidates;
    for (auto& certificate : stored) {
        const bool taken = std::any_of(candidates.begin(), candidates.end(),
                                       [&](const auto& other) { return other.der() == certificate.der(); });
        if (!taken) candidates.push_back(std::move(certificate));
    }
    return candidates;
}

std::optional<platform::KeyStoreIdentity> HalvardineSecurity::identity(const platform::Certificate& matching) {
    std::vector<platform::KeyStoreIdentity> identities;
    const KeyStoreStatus status = keyStore_.findIdentities(identities);
    if (status == KeyStoreStatus::itemNotFound) return std::nullopt;
    if (status != KeyStoreStatus::success) throwStoreFailure(keyStore_, status);
    for (auto& candidate : identities) {
        if (candidate.certificate.der() == matching.der()) return std::move(candidate);
    }
    return std::nullopt;
}

void HalvardineSecurity::storeCertificate(const platform::Certificate& certificate, bool server) {
    (void)keyStore_.deleteCertificates(identityLabel(server));
    const KeyStoreStatus status = keyStore_.addCertificate(identityLabel(server), certificate);
    if (status != KeyStoreStatus::success && status != KeyStoreStatus::duplicateItem) {
        throw HalvardineSecurityError::identityUnavailable("Keychain rejected the TLS certificate with status " +
                                                           std::to_string(platform::statusCode(status)) + ".");
    }
    saveCertificateCopy(certificate, server);
}

void HalvardineSecurity::removeStoredCertificates(bool server) {
    defaults_->remove(certificateCopyKey(server));
    (void)keyStore_.deleteCertificates(identityLabel(server));
}

void HalvardineSecurity::saveCertificateCopy(const platform::Certificate& certificate, bool server) {
    defaults_->set(certificateCopyKey(server), certificate.der());
}

TlsIdentity HalvardineSecurity::loadOrCreateIdentity(bool server) {
    const platform::EcPrivateKey key = loadOrCreateTLSPrivateKey(server);
    for (const platform::Certificate& candidate : candidateCertificates(server)) {
        // Re-adding repairs a lost certificate item; a duplicate is expected.
        (void)keyStore_.addCertificate(identityLabel(server), candidate);
        if (auto found = identity(candidate)) {
            saveCertificateCopy(candidate, server);
            return {std::move(found->privateKey), candidate, fingerprint(candidate)};
        }
    }

    removeStoredCertificates(server);
    const platform::Certificate certificate =
        makeSelfSignedCertificate(key, commonName(server), clock_->now().systemTime());
    storeCertificate(certificate, server);
    auto linked = identity(certificate);
    if (!linked) {
        throw HalvardineSecurityError::identityUnavailable("The certificate and private key could not be linked.");
    }
    return {std::move(linked->privateKey), certificate, fingerprint(certificate)};
}

std::shared_ptr<platform::TlsContext> HalvardineSecurity::serverParameters() {
    return tlsParameters(platform::TlsRole::server, loadOrCreateIdentity(true), std::nullopt);
}

std::shared_ptr<platform::TlsContext> HalvardineSecurity::clientParameters(
    std::optional<std::string_view> pinnedServerCertificateFingerprint) {
    return tlsParameters(platform::TlsRole::client, loadOrCreateIdentity(false), pinnedServerCertificateFingerprint);
}

platform::EcPrivateKey HalvardineSecurity::loadOrCreateRelayControlKey() {
    static constexpr std::string_view label = "Zentrabo Relay Control Signing Key";
    const std::string tag = std::string(identifierPrefix) + ".relay.control.key";
    std::optional<platform::EcPrivateKey> key;
    const KeyStoreStatus found = keyStore_.findKey(tag, key);
    if (found == KeyStoreStatus::success) return std::move(*key);
    if (found != KeyStoreStatus::itemNotFound) throw HalvardineSecurityError::privateKeyUnavailable();
    try {
        platform::EcPrivateKey created = platform::EcPrivateKey::generate();
        if (keyStore_.addKey(tag, label, created) != KeyStoreStatus::success) {
            throw HalvardineSecurityError::privateKeyUnavailable();
        }
        return created;
    } catch (const platform::CryptoError&) {
        throw HalvardineSecurityError::privateKeyUnavailable();
    }
}

}  // namespace zentrabo
