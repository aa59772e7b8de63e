#pragma once
// Points HOME at a fresh folder for one test and removes it afterwards.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace zentrabo::testing {

class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-home-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        if (const char* home = std::getenv("HOME")) savedHome_ = home;
        setenv("HOME", path_.c_str(), 1);
    }
    ~TemporaryHome() {
        if (savedHome_) setenv("HOME", savedHome_->c_str(), 1);
        else unsetenv("HOME");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path logFolder() const { return path_ / "Library/Logs/Zentrabo"; }
    std::filesystem::path logFile() const { return logFolder() / "ZentraboMac.log"; }

    std::string logText() const {
        std::ifstream file(logFile(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    std::filesystem::path path_;
    std::optional<std::string> savedHome_;
};

}  // namespace zentrabo::testing
