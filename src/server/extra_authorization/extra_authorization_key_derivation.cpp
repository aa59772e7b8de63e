#include "server/extra_authorization/extra_authorization_key_derivation.hpp"

#include <utility>

#include <asio/post.hpp>

#include "platform/dispatch/awaited_answer.hpp"

namespace zentrabo {

ExtraAuthorizationKeyDerivation::ExtraAuthorizationKeyDerivation(asio::any_io_executor work) : work_(std::move(work)) {}

asio::awaitable<bool> ExtraAuthorizationKeyDerivation::verify(std::string password,
                                                              ExtraAuthorizationPasswordRecord record) const {
    return platform::awaitPosted<bool>(onPool(), [password = std::move(password), record = std::move(record)] {
        return verifyExtraAuthorizationPassword(password, record);
    });
}

asio::awaitable<ExtraAuthorizationKeyDerivation::RecordResult> ExtraAuthorizationKeyDerivation::makeRecord(
    std::string password) const {
    return platform::awaitPosted<RecordResult>(onPool(), [password = std::move(password)]() -> RecordResult {
        try {
            return makeExtraAuthorizationPasswordRecord(password);
        } catch (...) {
            return std::current_exception();
        }
    });
}

std::function<void(std::function<void()>)> ExtraAuthorizationKeyDerivation::onPool() const {
    return [work = work_](std::function<void()> handler) { asio::post(work, std::move(handler)); };
}

platform::WorkPool& extraAuthorizationKeyDerivationPool() {
    static auto* const pool = new platform::WorkPool("zb-key-derive", 2);
    return *pool;
}

}  // namespace zentrabo
