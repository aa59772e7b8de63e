#include "screenstream/remote_screen_display_mode_controller.hpp"

#include <algorithm>
#include <cstdint>

#include "model/diagnostic_log.hpp"
#include "screenstream/display_mode_choice.hpp"

namespace zentrabo {

std::shared_ptr<RemoteScreenDisplayModeController> RemoteScreenDisplayModeController::make(
    platform::Displays& displays, platform::DisplayID displayID) {
    const auto active = displays.activeDisplayIDs();
    if (!active || std::find(active->begin(), active->end(), displayID) == active->end()) return nullptr;
    const auto current = displays.currentMode(displayID);
    if (!current) return nullptr;
    return std::make_shared<RemoteScreenDisplayModeController>(displays, displayID, *current);
}

RemoteScreenDisplayModeController::RemoteScreenDisplayModeController(platform::Displays& displays,
                                                                     platform::DisplayID displayID,
                                                                     platform::DisplayMode originalMode)
    : displays_(displays), displayID_(displayID), originalMode_(std::move(originalMode)) {}

bool RemoteScreenDisplayModeController::apply(const std::string& reason, double width, double height) {
    if (!isDisplayModeTarget(width, height)) return false;
    std::lock_guard guard(lock_);
    const platform::DisplayMode current =
        displays_.currentMode(displayID_).value_or(appliedMode_.value_or(originalMode_));
    const auto modes = displays_.allModes(displayID_, true);
    const auto best = modes ? bestDisplayMode(*modes, current, width, height) : std::nullopt;
    if (!best) {
        ZENTRABO_LOG("Client Native display mode skipped for display " + std::to_string(displayID_) +
                     ": no matching mode for " + targetSizeDescription(width, height) + ".");
        return false;
    }
    if (displayModesMatch(*best, current)) return false;
    const std::int32_t error = displays_.setMode(displayID_, *best);
    if (error != platform::displayerror::success) {
        ZENTRABO_LOG("Client Native display mode failed for display " + std::to_string(displayID_) + ": " +
                     std::to_string(error) + ".");
        return false;
    }
    appliedMode_ = *best;
    ZENTRABO_LOG("Client Native display mode applied for display " + std::to_string(displayID_) + " (" + reason +
                 "): " + displayModeDescription(current) + " -> " + displayModeDescription(*best) + ", target " +
                 targetSizeDescription(width, height) + ".");
    return true;
}

void RemoteScreenDisplayModeController::restore() {
    std::lock_guard guard(lock_);
    if (!appliedMode_) return;
    // Cleared whatever happens: a refused restore is not retried.
    appliedMode_.reset();
    const auto current = displays_.currentMode(displayID_);
    if (current && displayModesMatch(*current, originalMode_)) return;
    const std::int32_t error = displays_.setMode(displayID_, originalMode_);
    if (error == platform::displayerror::success) {
        ZENTRABO_LOG("Client Native display mode restored for display " + std::to_string(displayID_) + ": " +
                     displayModeDescription(originalMode_) + ".");
    } else {
        ZENTRABO_LOG("Client Native display mode restore failed for display " + std::to_string(displayID_) + ": " +
                     std::to_string(error) + ".");
    }
}

bool RemoteScreenDisplayModeController::hasAppliedMode() {
    std::lock_guard guard(lock_);
    return appliedMode_.has_value();
}

}  // namespace zentrabo
