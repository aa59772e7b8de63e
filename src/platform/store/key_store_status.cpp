#include "platform/store/key_store.hpp"

namespace zentrabo::platform {

std::string_view describe(KeyStoreStatus status) noexcept {
    switch (status) {
    case KeyStoreStatus::success:
        return "The key store operation succeeded.";
    case KeyStoreStatus::itemNotFound:
        return "The item was not found in the key store.";
    case KeyStoreStatus::duplicateItem:
        return "The item already exists in the key store.";
    case KeyStoreStatus::unreadable:
        return "The key store file is damaged and was left untouched.";
    case KeyStoreStatus::ioFailure:
        return "The key store file could not be read or written.";
    }
    return "The key store failed.";
}

}  // namespace zentrabo::platform
