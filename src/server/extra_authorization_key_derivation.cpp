#include "server/extra_authorization_key_derivation.hpp"

#include <utility>

#include <asio/post.hpp>

namespace zentrabo {

ExtraAuthorizationKeyDerivation::ExtraAuthorizationKeyDerivation(asio::any_io_executor work,
                                                                 asio::any_io_executor mainLoop)
    : work_(std::move(work)), gate_(std::make_shared<MainLoopGate>()) {
    gate_->mainLoop = std::move(mainLoop);
}

ExtraAuthorizationKeyDerivation::~ExtraAuthorizationKeyDerivation() {
    std::lock_guard guard(gate_->mutex);
    gate_->isOpen = false;
}

template <class Result>
void ExtraAuthorizationKeyDerivation::run(std::function<Result()> work,
                                          std::function<void(Result)> completion) {
    asio::post(work_, [gate = gate_, work = std::move(work), completion = std::move(completion)]() mutable {
        Result result = work();
        std::lock_guard guard(gate->mutex);
        if (!gate->isOpen) return;
        asio::post(gate->mainLoop, [gate, completion = std::move(completion), result = std::move(result)]() mutable {
            // Checked again on the main loop, where the owner is destroyed:
            // a result that was already on its way finds the gate closed.
            {
                std::lock_guard guard(gate->mutex);
                if (!gate->isOpen) return;
            }
            completion(std::move(result));
        });
    });
}

void ExtraAuthorizationKeyDerivation::verify(std::string password, ExtraAuthorizationPasswordRecord record,
                                             std::function<void(bool)> completion) {
    run<bool>([password = std::move(password), record = std::move(record)] {
        return verifyExtraAuthorizationPassword(password, record);
    }, std::move(completion));
}

void ExtraAuthorizationKeyDerivation::makeRecord(std::string password, std::function<void(RecordResult)> completion) {
    run<RecordResult>([password = std::move(password)]() -> RecordResult {
        try {
            return makeExtraAuthorizationPasswordRecord(password);
        } catch (...) {
            return std::current_exception();
        }
    }, std::move(completion));
}

platform::WorkPool& extraAuthorizationKeyDerivationPool() {
    static auto* const pool = new platform::WorkPool(2);
    return *pool;
}

}  // namespace zentrabo
