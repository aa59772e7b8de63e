#pragma once
// A contract backend whose two applications are the tests' GTK application,
// as every real session runs it: what they report is read from its reports,
// and each backend says only how its session shows a started window.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/desktop_contract.hpp"
#include "support/eventually.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {

class TestApplicationContractBackend : public ContractBackend {
public:
    std::string startApplication(int which) override {
        const std::string title = which == 0 ? "First" : "Second";
        TestApplicationOptions options{{{title, 400, 300, placeOf(which), {}, {}, true}}};
        options.applicationId = which == 0 ? kTestApplicationId : kSecondTestApplicationId;
        auto& application = *applications_.emplace_back(std::make_unique<TestApplication>(options));
        EXPECT_TRUE(bringsForward(application, title));
        std::string identifier;
        EXPECT_TRUE(eventually([&] {
            for (const auto& running : desktop().workspace().runningApplications()) {
                if (running->processIdentifier() == application.pid() && running->bundleIdentifier()) {
                    identifier = *running->bundleIdentifier();
                    return true;
                }
            }
            return false;
        }));
        return identifier;
    }

    bool sawMenuItemPressed(const std::string& title) override { return firstReports("menuItem", "item", title); }
    bool sawDialogCancelled() override { return firstReports("dialog", "response", "cancel"); }
    bool sawFieldText(const std::string& text) override { return firstReports("field", "text", text); }

protected:
    // Where the window of the first (0) or second (1) application is asked
    // to go; none where the session chooses.
    virtual std::optional<std::pair<int, int>> placeOf(int which) = 0;
    // Waits until the started application's window is shown and in front.
    virtual bool bringsForward(TestApplication& application, const std::string& title) = 0;

private:
    // Whether the first application reports the event with that value, among
    // the reports of the event that come within their deadline.
    bool firstReports(std::string_view event, std::string_view key, const std::string& value) {
        if (applications_.empty()) return false;
        while (const auto report = applications_.front()->reports().waitFor(event)) {
            if (report->text(key) == value) return true;
        }
        return false;
    }

    std::vector<std::unique_ptr<TestApplication>> applications_;
};

}  // namespace zentrabo::testing
