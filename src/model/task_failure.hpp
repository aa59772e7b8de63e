#pragma once
// What a spawned task threw, told in one place: the completion handed to
// asio::co_spawn logs it after a prefix naming the task.
#include <exception>
#include <source_location>
#include <string>

namespace zentrabo {

// The message of what was thrown; a throw of something that is not a
// std::exception reads "unknown failure". Empty for no failure.
std::string failureText(const std::exception_ptr& failure);

// A co_spawn completion: a task that ended by throwing is logged as
// "<prefix><message>", attributed to the line that made the completion.
class LogTaskFailure {
public:
    explicit LogTaskFailure(std::string prefix, std::source_location where = std::source_location::current());
    void operator()(const std::exception_ptr& failure) const;

private:
    std::string prefix_;
    std::source_location where_;
};

}  // namespace zentrabo
