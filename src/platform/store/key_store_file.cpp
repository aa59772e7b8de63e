#include "platform/store/key_store_file.hpp"

#include <cerrno>
#include <exception>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include "platform/json/record_json.hpp"
#include "platform/store/store_files.hpp"

namespace zentrabo::platform::keystore {
namespace {

constexpr std::int64_t formatVersion = 1;

// An exclusive lock on a file beside the store, held for one operation.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& lockPath)
        : descriptor_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        while (descriptor_ >= 0 && ::flock(descriptor_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~StoreLock() {
        if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const noexcept { return descriptor_ >= 0; }

private:
    int descriptor_;
};

std::filesystem::path lockPath() { return dataFolder() / ".keystore.lock"; }

// The file's form of the contents, in the order every version wrote it.
struct StoredKey {
    std::string tag;
    std::string label;
    Bytes pkcs8;
    static constexpr auto jsonFields() {
        using K = StoredKey;
        return std::tuple{field("tag", &K::tag), field("label", &K::label), field("pkcs8", &K::pkcs8)};
    }
};

struct StoredCertificate {
    std::string label;
    Bytes der;
    static constexpr auto jsonFields() {
        return std::tuple{field("label", &StoredCertificate::label), field("der", &StoredCertificate::der)};
    }
};

// An empty section may be left out.
struct StoredContents {
    std::int64_t version = 0;
    std::vector<StoredKey> keys;
    std::vector<StoredCertificate> certificates;
    std::vector<PasswordItem> passwords;
    static constexpr auto jsonFields() {
        using S = StoredContents;
        return std::tuple{field("version", &S::version), field("keys", &S::keys, recordDefault),
                          field("certificates", &S::certificates, recordDefault),
                          field("passwords", &S::passwords, recordDefault)};
    }
};

void cleanse(Bytes& secret) { OPENSSL_cleanse(secret.data(), secret.size()); }

// None when a key or a certificate is not what it should be.
std::optional<Contents> contentsOf(StoredContents& stored) {
    Contents contents;
    for (StoredKey& item : stored.keys) {
        auto key = EcPrivateKey::fromPkcs8Der(item.pkcs8);
        if (!key) return std::nullopt;
        contents.keys.push_back({std::move(item.tag), std::move(item.label), std::move(*key)});
    }
    for (StoredCertificate& item : stored.certificates) {
        auto certificate = Certificate::fromDer(item.der);
        if (!certificate) return std::nullopt;
        contents.certificates.push_back({std::move(item.label), std::move(*certificate)});
    }
    contents.passwords = std::move(stored.passwords);
    return contents;
}

// The contents are given up: their passwords move into the file's form.
std::string serialize(Contents contents) {
    StoredContents stored{formatVersion, {}, {}, std::move(contents.passwords)};
    for (const KeyItem& item : contents.keys) stored.keys.push_back({item.tag, item.label, item.key.toPkcs8Der()});
    for (const CertificateItem& item : contents.certificates) {
        stored.certificates.push_back({item.label, item.certificate.der()});
    }
    std::string text;
    encodeRecord(stored, text);
    text.push_back('\n');
    for (StoredKey& item : stored.keys) cleanse(item.pkcs8);
    return text;
}

std::optional<Contents> parse(const std::string& text) {
    try {
        const JsonDocument document = JsonDocument::parse(text);
        StoredContents stored = decodeRecord<StoredContents>(document.root(), RecordReading::stored);
        if (stored.version != formatVersion) return std::nullopt;
        auto contents = contentsOf(stored);
        for (StoredKey& item : stored.keys) cleanse(item.pkcs8);
        return contents;
    } catch (const JsonParseError&) {
        return std::nullopt;
    } catch (const RecordDecodeError&) {
        return std::nullopt;
    }
}

KeyStoreStatus load(Contents& contents, std::error_code& fileError) {
    std::string text;
    const std::error_code error = readStoreFile(KeyStore::filePath(), text);
    if (error == std::errc::no_such_file_or_directory) return KeyStoreStatus::success;
    if (error == std::errc::file_too_large) return KeyStoreStatus::unreadable;
    if (error) {
        fileError = error;
        return KeyStoreStatus::ioFailure;
    }
    auto parsed = parse(text);
    OPENSSL_cleanse(text.data(), text.size());
    if (!parsed) return KeyStoreStatus::unreadable;
    contents = std::move(*parsed);
    return KeyStoreStatus::success;
}

}  // namespace

namespace {

KeyStoreStatus failed(std::error_code& fileError, std::error_code error) {
    fileError = error;
    return KeyStoreStatus::ioFailure;
}

std::error_code lastError() { return {errno, std::generic_category()}; }

}  // namespace

KeyStoreStatus transact(std::error_code& fileError, const std::function<Outcome(Contents&)>& operation) {
    fileError.clear();
    if (const std::error_code error = ensurePrivateFolder(dataFolder())) return failed(fileError, error);
    StoreLock lock(lockPath());
    if (!lock.held()) return failed(fileError, lastError());
    Contents contents;
    if (const KeyStoreStatus status = load(contents, fileError); status != KeyStoreStatus::success) {
        return status;
    }
    const Outcome outcome = operation(contents);
    if (outcome.status != KeyStoreStatus::success || !outcome.changed) return outcome.status;
    std::string text;
    try {
        text = serialize(std::move(contents));
    } catch (const std::bad_alloc&) {
        return failed(fileError, std::make_error_code(std::errc::not_enough_memory));
    } catch (const std::exception&) {
        return failed(fileError, std::make_error_code(std::errc::invalid_argument));
    }
    const std::error_code error = writeStoreFileAtomically(KeyStore::filePath(), text);
    OPENSSL_cleanse(text.data(), text.size());
    return error ? failed(fileError, error) : KeyStoreStatus::success;
}

KeyStoreStatus inspect(std::error_code& fileError, const std::function<KeyStoreStatus(const Contents&)>& operation) {
    fileError.clear();
    std::error_code error;
    if (!std::filesystem::exists(dataFolder(), error)) {
        return error ? failed(fileError, error) : operation(Contents{});
    }
    StoreLock lock(lockPath());
    if (!lock.held()) return failed(fileError, lastError());
    Contents contents;
    if (const KeyStoreStatus status = load(contents, fileError); status != KeyStoreStatus::success) {
        return status;
    }
    return operation(contents);
}

}  // namespace zentrabo::platform::keystore
