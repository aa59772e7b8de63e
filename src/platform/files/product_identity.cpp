#include "platform/files/product_identity.hpp"

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace zentrabo::platform {

namespace {

struct CurrentIdentity {
    std::mutex mutex;
    std::optional<ProductIdentity> identity;
    std::atomic<std::uint64_t> generation{0};
};

CurrentIdentity& current() {
    static CurrentIdentity instance;
    return instance;
}

}  // namespace

void setProductIdentity(ProductIdentity identity) {
    std::lock_guard lock(current().mutex);
    current().identity = std::move(identity);
    current().generation.fetch_add(1);
}

std::uint64_t productIdentityGeneration() { return current().generation.load(); }

ProductIdentity productIdentity() {
    std::lock_guard lock(current().mutex);
    if (!current().identity) throw std::logic_error("The product identity is used before the program set it.");
    return *current().identity;
}

}  // namespace zentrabo::platform
