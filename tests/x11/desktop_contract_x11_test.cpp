// The desktop contract on the tests' X11 session, with the tests' GTK
// application.
#include <cstdlib>

#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/desktop_contract.hpp"
#include "support/test_application.hpp"
#include "support/x11_session.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class X11ContractBackend final : public ContractBackend {
public:
    X11ContractBackend() : desktop_(platform::X11Desktop::create(std::getenv("DISPLAY"), clock_)) {}

    platform::Desktop& desktop() override { return *desktop_; }

    std::string startApplication(int which) override {
        const std::string title = which == 0 ? "First" : "Second";
        TestApplicationOptions options{{{title, 400, 300, {{100 + 500 * which, 100}}, {}, {}, true}}};
        options.applicationId = which == 0 ? kTestApplicationId : kSecondTestApplicationId;
        auto& application = *applications_.emplace_back(std::make_unique<TestApplication>(options));
        EXPECT_TRUE(waitForFrontWindow(application, title));
        std::string identifier;
        EXPECT_TRUE(eventually([&] {
            for (const auto& running : desktop_->workspace().runningApplications()) {
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

    platform::SystemClock clock_;
    std::unique_ptr<platform::X11Desktop> desktop_;
    std::vector<std::unique_ptr<TestApplication>> applications_;
};

INSTANTIATE_TEST_SUITE_P(X11Session, DesktopContract,
                         ::testing::Values(ContractBackendFactory{"X11",
                                                                  []() -> std::unique_ptr<ContractBackend> {
                                                                      joinX11Session();
                                                                      if (::testing::Test::IsSkipped() ||
                                                                          ::testing::Test::HasFatalFailure())
                                                                          return nullptr;
                                                                      return std::make_unique<X11ContractBackend>();
                                                                  }}),
                         contractBackendName);

}  // namespace
}  // namespace zentrabo::testing
