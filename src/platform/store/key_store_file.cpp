#include "platform/store/key_store_file.hpp"

#include <cerrno>
#include <exception>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include "platform/json/json_error.hpp"
#include "platform/json/json_reader.hpp"
#include "platform/json/json_writer.hpp"
#include "platform/store/store_files.hpp"
#include "platform/text/base64.hpp"

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

std::optional<std::string> stringField(const JsonObject& object, std::string_view key) {
    const auto value = object.find(key);
    if (!value) return std::nullopt;
    const auto text = value->asString();
    if (!text) return std::nullopt;
    return std::string(*text);
}

std::optional<Bytes> bytesField(const JsonObject& object, std::string_view key) {
    const auto text = stringField(object, key);
    Bytes bytes;
    if (!text || !base64Decode(*text, bytes)) return std::nullopt;
    return bytes;
}

// Calls read for every element of the named array, which must be objects;
// false when the array or any element is malformed.
template <class Read>
bool forEachObject(const JsonObject& root, std::string_view key, Read read) {
    const auto value = root.find(key);
    if (!value) return true;  // an empty section may be left out
    const auto array = value->asArray();
    if (!array) return false;
    for (const JsonValue element : *array) {
        const auto object = element.asObject();
        if (!object || !read(*object)) return false;
    }
    return true;
}

bool parse(const std::string& text, Contents& contents) {
    try {
        const JsonDocument document = JsonDocument::parse(text);
        const auto root = document.root().asObject();
        if (!root) return false;
        std::int64_t version = 0;
        const auto versionValue = root->find("version");
        if (!versionValue || versionValue->getInteger(version) != JsonIntegerStatus::ok || version != formatVersion) {
            return false;
        }
        return forEachObject(*root, "keys",
                             [&](const JsonObject& item) {
                                 auto tag = stringField(item, "tag");
                                 auto label = stringField(item, "label");
                                 auto der = bytesField(item, "pkcs8");
                                 if (!tag || !label || !der) return false;
                                 auto key = EcPrivateKey::fromPkcs8Der(*der);
                                 if (!key) return false;
                                 contents.keys.push_back({*tag, *label, std::move(*key)});
                                 return true;
                             }) &&
               forEachObject(*root, "certificates",
                             [&](const JsonObject& item) {
                                 auto label = stringField(item, "label");
                                 auto der = bytesField(item, "der");
                                 if (!label || !der) return false;
                                 auto certificate = Certificate::fromDer(*der);
                                 if (!certificate) return false;
                                 contents.certificates.push_back({*label, std::move(*certificate)});
                                 return true;
                             }) &&
               forEachObject(*root, "passwords", [&](const JsonObject& item) {
                   auto service = stringField(item, "service");
                   auto account = stringField(item, "account");
                   auto data = bytesField(item, "data");
                   if (!service || !account || !data) return false;
                   contents.passwords.push_back({*service, *account, std::move(*data)});
                   return true;
               });
    } catch (const JsonParseError&) {
        return false;
    }
}

std::string serialize(const Contents& contents) {
    std::string text;
    JsonWriter writer(text);
    writer.beginObject();
    writer.key("version");
    writer.integer(formatVersion);
    writer.key("keys");
    writer.beginArray();
    for (const KeyItem& item : contents.keys) {
        Bytes der = item.key.toPkcs8Der();
        writer.beginObject();
        writer.key("tag");
        writer.string(item.tag);
        writer.key("label");
        writer.string(item.label);
        writer.key("pkcs8");
        writer.base64(der);
        writer.endObject();
        OPENSSL_cleanse(der.data(), der.size());
    }
    writer.endArray();
    writer.key("certificates");
    writer.beginArray();
    for (const CertificateItem& item : contents.certificates) {
        writer.beginObject();
        writer.key("label");
        writer.string(item.label);
        writer.key("der");
        writer.base64(item.certificate.der());
        writer.endObject();
    }
    writer.endArray();
    writer.key("passwords");
    writer.beginArray();
    for (const PasswordItem& item : contents.passwords) {
        writer.beginObject();
        writer.key("service");
        writer.string(item.service);
        writer.key("account");
        writer.string(item.account);
        writer.key("data");
        writer.base64(item.data);
        writer.endObject();
    }
    writer.endArray();
    writer.endObject();
    text.push_back('\n');
    return text;
}

KeyStoreStatus load(Contents& contents) {
    std::string text;
    const std::error_code error = readStoreFile(KeyStore::filePath(), text);
    if (error == std::errc::no_such_file_or_directory) return KeyStoreStatus::success;
    if (error == std::errc::file_too_large) return KeyStoreStatus::unreadable;
    if (error) return KeyStoreStatus::ioFailure;
    const bool ok = parse(text, contents);
    OPENSSL_cleanse(text.data(), text.size());
    return ok ? KeyStoreStatus::success : KeyStoreStatus::unreadable;
}

}  // namespace

KeyStoreStatus transact(const std::function<Outcome(Contents&)>& operation) {
    if (ensurePrivateFolder(dataFolder())) return KeyStoreStatus::ioFailure;
    StoreLock lock(lockPath());
    if (!lock.held()) return KeyStoreStatus::ioFailure;
    Contents contents;
    if (const KeyStoreStatus status = load(contents); status != KeyStoreStatus::success) {
        return status;
    }
    const Outcome outcome = operation(contents);
    if (outcome.status != KeyStoreStatus::success || !outcome.changed) return outcome.status;
    std::string text;
    try {
        text = serialize(contents);
    } catch (const std::exception&) {
        return KeyStoreStatus::ioFailure;
    }
    const std::error_code error = writeStoreFileAtomically(KeyStore::filePath(), text);
    OPENSSL_cleanse(text.data(), text.size());
    return error ? KeyStoreStatus::ioFailure : KeyStoreStatus::success;
}

KeyStoreStatus inspect(const std::function<KeyStoreStatus(const Contents&)>& operation) {
    std::error_code error;
    if (!std::filesystem::exists(dataFolder(), error)) {
        return error ? KeyStoreStatus::ioFailure : operation(Contents{});
    }
    StoreLock lock(lockPath());
    if (!lock.held()) return KeyStoreStatus::ioFailure;
    Contents contents;
    if (const KeyStoreStatus status = load(contents); status != KeyStoreStatus::success) {
        return status;
    }
    return operation(contents);
}

}  // namespace zentrabo::platform::keystore
