#pragma once
// The display mode a stream switched one display to for the device's own
// pixels, and the mode it found there, which it puts back.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/displays.hpp"

namespace zentrabo {

class RemoteScreenDisplayModeController {
public:
    // None unless the display is active and its current mode can be read;
    // that mode is the one restore() puts back. The displays must outlive
    // the controller.
    static std::shared_ptr<RemoteScreenDisplayModeController> make(platform::Displays& displays,
                                                                   platform::DisplayID displayID);

    RemoteScreenDisplayModeController(platform::Displays& displays, platform::DisplayID displayID,
                                      platform::DisplayMode originalMode);
    RemoteScreenDisplayModeController(const RemoteScreenDisplayModeController&) = delete;
    RemoteScreenDisplayModeController& operator=(const RemoteScreenDisplayModeController&) = delete;

    platform::DisplayID displayID() const { return displayID_; }

    // Switches the display to the mode that fits the target best; true when
    // it switched. Each outcome but "already there" is logged.
    bool apply(const std::string& reason, double width, double height);
    // Puts the original mode back if this controller switched the display,
    // unless the display shows it already. Serialised with apply(), so a
    // restore never comes between an apply's choice and its switch.
    void restore();
    bool hasAppliedMode();

private:
    platform::Displays& displays_;
    const platform::DisplayID displayID_;
    // Never replaced: after several switches a restore still returns to the
    // mode the display had before the stream first changed it.
    const platform::DisplayMode originalMode_;

    std::mutex lock_;
    // Guarded by lock_: the mode this controller set, until restored.
    std::optional<platform::DisplayMode> appliedMode_;
};

}  // namespace zentrabo
