// The desktop contract on the tests' X11 session, with the tests' GTK
// application.
#include <cstdlib>

#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/test_application_contract_backend.hpp"
#include "support/x11_session.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class X11ContractBackend final : public TestApplicationContractBackend {
public:
    X11ContractBackend() : desktop_(platform::X11Desktop::create(std::getenv("DISPLAY"), clock_)) {}

    platform::Desktop& desktop() override { return *desktop_; }

protected:
    std::optional<std::pair<int, int>> placeOf(int which) override { return {{100 + 500 * which, 100}}; }
    bool bringsForward(TestApplication& application, const std::string& title) override {
        return waitForFrontWindow(application, title).has_value();
    }

private:
    platform::SystemClock clock_;
    std::unique_ptr<platform::X11Desktop> desktop_;
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
