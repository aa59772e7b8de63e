#pragma once
// The test applications the session installed as desktop entries
// (scripts/test-applications.sh): their IDs, and the reports each appends to
// a file of its own, read back by polling.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_application.hpp"

namespace zentrabo::testing {

inline constexpr const char* kInstalledTestApp = "org.zentrabo.TestApp";
inline constexpr const char* kInstalledTestApp2 = "org.zentrabo.TestApp2";
inline constexpr const char* kInstalledMenuApp = "org.zentrabo.MenuApp";
inline constexpr const char* kUrlRecorder = "org.zentrabo.UrlRecorder";
inline constexpr const char* kFileRecorder = "org.zentrabo.FileRecorder";

inline std::string desktopID(const std::string& application) { return application + ".desktop"; }

inline std::filesystem::path installedTestApplications() {
    const char* root = std::getenv("ZENTRABO_TEST_APPLICATIONS");
    return root ? std::filesystem::path(root) : std::filesystem::path();
}

inline std::filesystem::path reportFile(const std::string& application) {
    return installedTestApplications() / "reports" / (application + ".jsonl");
}

// Every report the application has written since the file was last emptied.
inline std::vector<TestApplicationReport> reportsOf(const std::string& application) {
    std::vector<TestApplicationReport> reports;
    std::ifstream file(reportFile(application));
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) reports.emplace_back(line);
    }
    return reports;
}

// The n-th (from 0) report of the event that passes the check, waited for
// up to 10 s.
inline std::optional<TestApplicationReport> waitForReport(
    const std::string& application, const std::string& event, std::size_t n = 0,
    const std::function<bool(const TestApplicationReport&)>& check = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::size_t seen = 0;
        for (auto& report : reportsOf(application)) {
            if (report.event() == event && (!check || check(report)) && seen++ == n) return std::move(report);
        }
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The argv a "started" report gives.
inline std::vector<std::string> reportedArguments(const TestApplicationReport& report) {
    std::vector<std::string> arguments;
    const auto value = report.value("argv");
    const auto array = value ? value->asArray() : std::nullopt;
    if (!array) return arguments;
    for (const auto& item : *array) {
        if (const auto text = item.asString()) arguments.emplace_back(*text);
    }
    return arguments;
}

// Empties the applications' report files at the start, and ends whatever of
// them the test left running at its end.
class InstalledApplicationsGuard {
public:
    explicit InstalledApplicationsGuard(std::vector<std::string> applications)
        : applications_(std::move(applications)) {
        for (const auto& application : applications_) std::ofstream(reportFile(application), std::ios::trunc);
    }
    ~InstalledApplicationsGuard() {
        for (const auto& application : applications_) {
            for (const auto& report : reportsOf(application)) {
                if (report.event() == "started" && report.integer("pid")) {
                    ::kill(static_cast<pid_t>(*report.integer("pid")), SIGKILL);
                }
            }
        }
    }
    InstalledApplicationsGuard(const InstalledApplicationsGuard&) = delete;
    InstalledApplicationsGuard& operator=(const InstalledApplicationsGuard&) = delete;

private:
    std::vector<std::string> applications_;
};

}  // namespace zentrabo::testing
