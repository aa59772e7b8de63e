#include "model/records/display_records.hpp"

namespace zentrabo {
namespace {

RemoteDisplayInfo preset(std::string name, bool isMain, std::optional<bool> capturesAllDisplays) {
    RemoteDisplayInfo display;
    display.name = std::move(name);
    display.isMain = isMain;
    display.capturesAllDisplays = capturesAllDisplays;
    return display;
}

}  // namespace

std::string RemoteDisplayInfo::id() const {
    if (capturesAllDisplays.value_or(false)) return "all";
    if (!displayID) return "main";
    return "display-" + std::to_string(*displayID);
}

RemoteDisplayInfo RemoteDisplayInfo::mainDisplay() { return preset("Main Monitor", true, std::nullopt); }

RemoteDisplayInfo RemoteDisplayInfo::allDisplays() { return preset("All Monitors", false, true); }

}  // namespace zentrabo
