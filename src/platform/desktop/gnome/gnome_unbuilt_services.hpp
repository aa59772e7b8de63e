#pragma once
// The services the GNOME Wayland backend does not provide yet, each
// answering as its interface's failure, never as a success: no keyboard
// layout is read, and the accessibility trees are not trusted (the README
// says so).
#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/keyboard_layout.hpp"

namespace zentrabo::platform {

class GnomeKeyboardLayout final : public KeyboardLayoutPreferences {
public:
    std::optional<PropertyListValue> textInputPreferences() override { return std::nullopt; }
};

class GnomeAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override { return false; }
    bool requestProcessTrust() override { return false; }
    std::string processTrustRequestNote() const override {
        return "Accessibility is not available on GNOME Wayland yet.";
    }
    AXElement systemWideElement() override { return {}; }
    AXElement applicationElement(ProcessID pid) override { return {AXElement::Kind::application, pid}; }
    AXError setMessagingTimeout(const AXElement&, double) override { return axerror::apiDisabled; }
    AXAttributeResult copyAttribute(const AXElement&, const std::string&) override {
        return {axerror::apiDisabled, {}};
    }
    AXError setAttribute(const AXElement&, const std::string&, const AXValue&) override { return axerror::apiDisabled; }
    AXError performAction(const AXElement&, const std::string&) override { return axerror::apiDisabled; }
    MenuTreeRead menuTree(ProcessID, const MenuReadLimits&) override { return {axerror::apiDisabled, false, {}}; }
    MenuPressResult pressMenuItem(ProcessID, std::size_t, const MenuItemChooser&, const MenuReadLimits&) override {
        return {MenuPressResult::Outcome::menuUnreadable, axerror::apiDisabled, 0};
    }
};

}  // namespace zentrabo::platform
