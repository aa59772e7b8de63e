#pragma once
// Runs the slow password work (checking a password, making a record) off the
// main loop and hands the result back on it, so the main loop keeps serving
// requests and timers while a key is derived.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include <asio/any_io_executor.hpp>

#include "platform/dispatch/main_loop_gate.hpp"
#include "platform/dispatch/work_pool.hpp"
#include "server/extra_authorization/extra_authorization_password.hpp"

namespace zentrabo {

class ExtraAuthorizationKeyDerivation {
public:
    using RecordResult = std::variant<ExtraAuthorizationPasswordRecord, std::exception_ptr>;

    // Work runs on `work`, completions on `mainLoop`, which must outlive this
    // object. Destroy it on the main loop: no completion runs afterwards.
    ExtraAuthorizationKeyDerivation(asio::any_io_executor work, asio::any_io_executor mainLoop);
    ~ExtraAuthorizationKeyDerivation();
    ExtraAuthorizationKeyDerivation(const ExtraAuthorizationKeyDerivation&) = delete;
    ExtraAuthorizationKeyDerivation& operator=(const ExtraAuthorizationKeyDerivation&) = delete;

    // The record is the caller's copy: a record replaced meanwhile does not
    // change this check.
    void verify(std::string password, ExtraAuthorizationPasswordRecord record, std::function<void(bool)> completion);
    void makeRecord(std::string password, std::function<void(RecordResult)> completion);

private:
    template <class Result>
    void run(std::function<Result()> work, std::function<void(Result)> completion);

    asio::any_io_executor work_;
    // Lets work reach the main loop only while this object lives.
    std::shared_ptr<platform::MainLoopGate> gate_;
};

// The pool "HalvardineServer.keyDerivation", of its own so that a stuck file
// listing can never delay a password check. Two threads: enough to keep the
// checks of local and relay clients moving, without handing a burst of
// guesses every core. Process-wide and never destroyed.
platform::WorkPool& extraAuthorizationKeyDerivationPool();

}  // namespace zentrabo
