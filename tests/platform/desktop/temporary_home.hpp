#pragma once
// Points HOME and the XDG folders at a fresh temporary folder for one test
// and puts everything back afterwards. The platform layer gets the server's
// identity, as main gives it.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/server_identity.hpp"

class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-desktop-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        setenv("HOME", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        zentrabo::testing::useServerIdentity();
    }
    ~TemporaryHome() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};
