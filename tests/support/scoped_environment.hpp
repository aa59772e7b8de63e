#pragma once
// Environment variables set (or unset, for no value) for one scope and
// restored afterwards; what processes started meanwhile inherit.
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentrabo::testing {

class ScopedEnvironment {
public:
    using Setting = std::pair<std::string, std::optional<std::string>>;

    explicit ScopedEnvironment(const std::vector<Setting>& settings) {
        for (const auto& [name, value] : settings) {
            const char* saved = std::getenv(name.c_str());
            saved_.emplace_back(name, saved ? std::optional<std::string>(saved) : std::nullopt);
            apply(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) apply(it->first, it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }

    std::vector<Setting> saved_;
};

}  // namespace zentrabo::testing
