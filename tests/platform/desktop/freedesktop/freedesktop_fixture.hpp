#pragma once
// A temporary home whose XDG data and config folders hold the test's own
// desktop entries and lists, with the other variables the readers look at
// set for the test and restored after it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/temporary_home.hpp"

namespace zentrabo::testing {

class FreedesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        setVariable("XDG_DATA_DIRS", (home.path() / "system").string());
        setVariable("XDG_CONFIG_DIRS", (home.path() / "system-config").string());
        setVariable("XDG_CURRENT_DESKTOP", std::nullopt);
        setVariable("LC_ALL", std::nullopt);
        setVariable("LC_MESSAGES", std::nullopt);
        setVariable("LANG", std::nullopt);
    }
    void TearDown() override {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

    void setVariable(const std::string& name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }

    std::filesystem::path userApplications() const { return home.path() / ".local/share/applications"; }
    std::filesystem::path systemApplications() const { return home.path() / "system/applications"; }

    // Writes a file, making its folders.
    static std::filesystem::path write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
        return path;
    }
    // A desktop entry of an application with the name and Exec, and further lines.
    static std::filesystem::path writeEntry(const std::filesystem::path& path, const std::string& name,
                                            const std::string& more = "", const std::string& exec = "/bin/true") {
        return write(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more);
    }

    TemporaryHome home;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

}  // namespace zentrabo::testing
