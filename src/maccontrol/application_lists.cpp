// The applications a device can offer: the ones running with a regular user
// interface and the ones installed in the application folders, each once.
#include <unordered_map>

#include "maccontrol/localized_order.hpp"
#include "maccontrol/desktop_controller.hpp"

namespace zentrabo {

namespace {

// Records by bundle identifier in the order they were first stored, so that
// names that compare equal keep one reproducible order.
class ApplicationTable {
public:
    bool contains(const std::string& bundleIdentifier) const { return index_.contains(bundleIdentifier); }

    void store(RemoteApplicationInfo info) {
        const auto [it, inserted] = index_.try_emplace(info.bundleIdentifier, records_.size());
        if (inserted) {
            records_.push_back(std::move(info));
        } else {
            records_[it->second] = std::move(info);
        }
    }

    std::vector<RemoteApplicationInfo> take() { return std::move(records_); }

private:
    std::vector<RemoteApplicationInfo> records_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

std::vector<RemoteApplicationInfo> DesktopController::applications() {
    ApplicationTable table;
    for (const auto& application : desktop_.workspace().runningApplications()) {
        const auto bundleIdentifier = application->bundleIdentifier();
        if (!bundleIdentifier) continue;
        // Menu-bar agents and background processes have nothing to offer.
        if (application->activationPolicy() != platform::ActivationPolicy::regular) continue;
        RemoteApplicationInfo info;
        info.localizedName = application->localizedName().value_or(*bundleIdentifier);
        info.bundleIdentifier = *bundleIdentifier;
        info.isRunning = true;
        info.isFrontmost = application->isActive();
        table.store(std::move(info));
    }

    // A running application wins over its installed copy, and the first
    // installed copy over later ones.
    for (auto& installed : desktop_.workspace().installedApplications()) {
        if (table.contains(installed.identifier)) continue;
        RemoteApplicationInfo info;
        info.localizedName = std::move(installed.localizedName);
        info.bundleIdentifier = std::move(installed.identifier);
        table.store(std::move(info));
    }

    return sortedByLocalizedName(table.take(), [](const RemoteApplicationInfo& info) { return info.localizedName; });
}

HalvardineApplication DesktopController::snapshotApplication(const platform::RunningApplication& application) {
    HalvardineApplication record;
    record.bundleIdentifier = application.bundleIdentifier();
    record.pid = application.processIdentifier();
    record.localizedName =
        application.localizedName().value_or(record.bundleIdentifier.value_or("App " + std::to_string(record.pid)));
    record.isFrontmost = application.isActive();
    return record;
}

}  // namespace zentrabo
