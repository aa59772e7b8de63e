#pragma once
#include <string>
#include <string_view>

namespace zentrabo::platform {

// Names the calling thread for debuggers and `top -H`; the kernel keeps the
// first 15 bytes.
void setCurrentThreadName(std::string_view name);
std::string currentThreadName();

// Names the calling thread for a scope, then gives it its own name back. A
// thread started meanwhile inherits the scope's name, so a library that
// starts threads of its own can have them named for their role.
class ScopedThreadName {
public:
    explicit ScopedThreadName(std::string_view name);
    ~ScopedThreadName();
    ScopedThreadName(const ScopedThreadName&) = delete;
    ScopedThreadName& operator=(const ScopedThreadName&) = delete;

private:
    std::string previous_;
};

}  // namespace zentrabo::platform
