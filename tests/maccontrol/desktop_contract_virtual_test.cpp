// The desktop contract on the virtual desktop.
#include "platform/desktop/desktop_fixture.hpp"
#include "support/desktop_contract.hpp"

namespace zentrabo::testing {
namespace {

using namespace platform;

class VirtualContractBackend final : public ContractBackend {
public:
    VirtualContractBackend() {
        DesktopBuilder builder;
        for (const auto& [name, identifier, title] : applications) {
            ScenarioWindow window;
            window.title = title;
            window.frame = {100, 100, 400, 300};
            window.text = "";
            ScenarioSheet confirm;
            confirm.title = "Confirm";
            confirm.message = "Go on?";
            confirm.buttons = {{"Cancel", {}}, {"OK", {}}};
            confirm.cancelButton = "Cancel";
            builder.application(name, identifier)
                .menu("File", {menuItem("New Window", "cmd+N").then(opensWindow(std::string(title) + " 2")),
                               menuItem("Print").disabled(),
                               submenu("Recent", {menuItem("First Document"), menuItem("Second Document")}),
                               menuItem("Confirm…").then(opensSheet(confirm)), separator(),
                               menuItem("Quit", "cmd+Q").then(quitsApplication())})
                .menu("Edit", {menuItem("Paste", "cmd+V")})
                .window(window);
        }
        desktop_ = VirtualDesktop::create(builder.build(), clock_);
    }

    Desktop& desktop() override { return *desktop_; }

    std::string startApplication(int which) override {
        // Both run from the start; the first is in front.
        return applications[which].identifier;
    }

    bool sawMenuItemPressed(const std::string& title) override { return journalHas("press", " > " + title); }

    bool sawDialogCancelled() override { return journalHas("press", " > Cancel") && journalHas("sheetDismissed", ""); }

    bool sawFieldText(const std::string& text) override {
        const auto field = desktop_->copyAttribute(desktop_->systemWideElement(), "AXFocusedUIElement");
        if (!field.value) return false;
        const auto value = desktop_->copyAttribute(std::get<platform::AXElement>(*field.value), "AXValue");
        return value.value && std::get<std::string>(*value.value) == text;
    }

private:
    struct Application {
        const char* name;
        std::string identifier;
        const char* windowTitle;
    };
    static inline const Application applications[] = {{"First App", "com.example.first", "First"},
                                                      {"Second App", "com.example.second", "Second"}};

    bool journalHas(const std::string& action, const std::string& detailEnd) {
        for (const auto& entry : desktop_->journal()) {
            if (entry.action == action && entry.detail.ends_with(detailEnd)) return true;
        }
        return false;
    }

    TemporaryHome home_;
    ManualClock clock_;
    std::shared_ptr<VirtualDesktop> desktop_;
};

INSTANTIATE_TEST_SUITE_P(VirtualDesktop, DesktopContract,
                         ::testing::Values(ContractBackendFactory{
                             "Virtual", [] { return std::make_unique<VirtualContractBackend>(); }}),
                         contractBackendName);

}  // namespace
}  // namespace zentrabo::testing
