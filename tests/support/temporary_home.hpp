#pragma once
// Points HOME and the XDG config, data and state folders at a fresh folder for one
// test, so nothing touches the real home, and restores them afterwards. The
// runtime folder (where a server takes its consoles) is a fresh one beside
// it, so servers of tests that run at once never meet there. The platform
// layer gets the server's identity, as main gives it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server_identity.hpp"

namespace zentrabo::testing {

class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-home-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        redirect("HOME", path_);
        redirect("XDG_CONFIG_HOME", path_ / ".config");
        redirect("XDG_DATA_HOME", path_ / ".local/share");
        redirect("XDG_STATE_HOME", path_ / ".local/state");
        runtimePath_ = path_.string() + "-run";
        std::filesystem::create_directory(runtimePath_);
        std::filesystem::permissions(runtimePath_, std::filesystem::perms::owner_all);
        redirect("XDG_RUNTIME_DIR", runtimePath_);
        useServerIdentity();
    }
    ~TemporaryHome() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::remove_all(runtimePath_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& runtimePath() const { return runtimePath_; }
    std::filesystem::path logFolder() const { return path_ / ".local/state/zentrabo"; }
    std::filesystem::path logFile() const { return logFolder() / "ZentraboMac.log"; }

    // The diagnostic log's whole text ("" when there is none).
    std::string logText() const {
        std::ifstream file(logFile(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // How often the log holds the text.
    std::size_t logCount(std::string_view text) const {
        const std::string log = logText();
        std::size_t count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

private:
    void redirect(const char* name, const std::filesystem::path& value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }

    std::filesystem::path path_;
    std::filesystem::path runtimePath_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace zentrabo::testing
