// The desktop contract on the tests' GNOME Wayland session, with the tests'
// GTK application as a Wayland client.
#include "platform/desktop/gnome/gnome_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/gnome_session.hpp"
#include "support/test_application_contract_backend.hpp"

namespace zentrabo::testing {
namespace {

class GnomeContractBackend final : public TestApplicationContractBackend {
public:
    GnomeContractBackend() : desktop_(platform::GnomeDesktop::create(gnomeSession()->waylandDisplay, clock_)) {}

    platform::Desktop& desktop() override { return *desktop_; }

protected:
    // A Wayland client cannot choose its place: the shell does.
    std::optional<std::pair<int, int>> placeOf(int) override { return std::nullopt; }
    bool bringsForward(TestApplication& application, const std::string& title) override {
        return application.reports().waitFor("mapped", title).has_value() && shellActivates(title);
    }

private:
    platform::SystemClock clock_;
    std::unique_ptr<platform::GnomeDesktop> desktop_;
};

INSTANTIATE_TEST_SUITE_P(GnomeSession, DesktopContract,
                         ::testing::Values(ContractBackendFactory{"GnomeWayland",
                                                                  []() -> std::unique_ptr<ContractBackend> {
                                                                      joinGnomeSession();
                                                                      if (::testing::Test::IsSkipped() ||
                                                                          ::testing::Test::HasFatalFailure())
                                                                          return nullptr;
                                                                      return std::make_unique<GnomeContractBackend>();
                                                                  }}),
                         contractBackendName);

}  // namespace
}  // namespace zentrabo::testing
