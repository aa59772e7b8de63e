#pragma once
// A running application of the virtual desktop. It remembers what never
// changes (identity, name, bundle) and asks the desktop for the rest, which it
// holds weakly: once the desktop is gone the application reports terminated.
#include <memory>

#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

class VirtualDesktop;

class VirtualRunningApplication final : public RunningApplication {
public:
    struct Facts {
        ProcessID pid = 0;
        std::optional<std::string> bundleIdentifier;
        std::optional<std::string> localizedName;
        std::optional<std::filesystem::path> bundleURL;
        ActivationPolicy policy = ActivationPolicy::regular;
    };

    VirtualRunningApplication(std::weak_ptr<VirtualDesktop> desktop, Facts facts)
        : desktop_(std::move(desktop)), facts_(std::move(facts)) {}

    ProcessID processIdentifier() const override { return facts_.pid; }
    std::optional<std::string> bundleIdentifier() const override { return facts_.bundleIdentifier; }
    std::optional<std::string> localizedName() const override { return facts_.localizedName; }
    std::optional<std::filesystem::path> bundleURL() const override { return facts_.bundleURL; }
    ActivationPolicy activationPolicy() const override { return facts_.policy; }
    bool isActive() const override;
    bool isHidden() const override;
    bool isTerminated() const override;
    std::optional<RgbaImage> icon() const override;
    bool activate(bool allWindows) override;
    bool unhide() override;
    bool terminate() override;
    bool forceTerminate() override;

private:
    std::weak_ptr<VirtualDesktop> desktop_;
    Facts facts_;
};

}  // namespace zentrabo::platform
