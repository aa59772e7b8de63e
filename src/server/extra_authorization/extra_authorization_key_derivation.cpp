#include "server/extra_authorization/extra_authorization_key_derivation.hpp"

#include <utility>

#include <asio/post.hpp>

namespace zentrabo {

ExtraAuthorizationKeyDerivation::ExtraAuthorizationKeyDerivation(asio::any_io_executor work,
                                                                 asio::any_io_executor mainLoop)
    : work_(std::move(work)), gate_(std::make_shared<platform::MainLoopGate>(std::move(mainLoop))) {}

ExtraAuthorizationKeyDerivation::~ExtraAuthorizationKeyDerivation() { gate_->close(); }

template <class Result>
void ExtraAuthorizationKeyDerivation::run(std::function<Result()> work, std::function<void(Result)> completion) {
    asio::post(work_, [gate = gate_, work = std::move(work), completion = std::move(completion)]() mutable {
        gate->post([completion = std::move(completion), result = work()]() mutable { completion(std::move(result)); });
    });
}

void ExtraAuthorizationKeyDerivation::verify(std::string password, ExtraAuthorizationPasswordRecord record,
                                             std::function<void(bool)> completion) {
    run<bool>([password = std::move(password),
               record = std::move(record)] { return verifyExtraAuthorizationPassword(password, record); },
              std::move(completion));
}

void ExtraAuthorizationKeyDerivation::makeRecord(std::string password, std::function<void(RecordResult)> completion) {
    run<RecordResult>(
        [password = std::move(password)]() -> RecordResult {
            try {
                return makeExtraAuthorizationPasswordRecord(password);
            } catch (...) {
                return std::current_exception();
            }
        },
        std::move(completion));
}

platform::WorkPool& extraAuthorizationKeyDerivationPool() {
    static auto* const pool = new platform::WorkPool("zb-key-derive", 2);
    return *pool;
}

}  // namespace zentrabo
