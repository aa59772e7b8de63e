#pragma once
// Runs the slow password work (checking a password, making a record) on the
// key-derivation pool for a coroutine that awaits it, so the main loop keeps
// serving requests and timers while a key is derived.
#include <exception>
#include <functional>
#include <string>
#include <variant>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "platform/dispatch/work_pool.hpp"
#include "server/extra_authorization/extra_authorization_password.hpp"

namespace zentrabo {

class ExtraAuthorizationKeyDerivation {
public:
    // Work runs on `work`; the awaiting coroutine resumes on its own executor.
    explicit ExtraAuthorizationKeyDerivation(asio::any_io_executor work);

    // The record is the caller's copy: a record replaced meanwhile does not
    // change this check.
    asio::awaitable<bool> verify(std::string password, ExtraAuthorizationPasswordRecord record) const;
    // The record, or what making it threw.
    using RecordResult = std::variant<ExtraAuthorizationPasswordRecord, std::exception_ptr>;
    asio::awaitable<RecordResult> makeRecord(std::string password) const;

private:
    // Hands a handler to `work`.
    std::function<void(std::function<void()>)> onPool() const;

    asio::any_io_executor work_;
};

// The pool "HalvardineServer.keyDerivation", of its own so that a stuck file
// listing can never delay a password check. Two threads: enough to keep the
// checks of local and relay clients moving, without handing a burst of
// guesses every core. Process-wide and never destroyed.
platform::WorkPool& extraAuthorizationKeyDerivationPool();

}  // namespace zentrabo
