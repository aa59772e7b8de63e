#pragma once
// Accessibility on an X11 session, until it reads the session's
// accessibility bus: the process counts as trusted (nothing asks the user),
// and every element call fails with cannotComplete, so the callers fall back
// to what they do when an application does not answer.
#include "platform/desktop/accessibility.hpp"

namespace zentrabo::platform {

class X11Accessibility final : public Accessibility {
public:
    bool isProcessTrusted() override { return true; }
    bool requestProcessTrust() override { return true; }
    AXElement systemWideElement() override { return AXElement(AXElement::Kind::systemWide, 0); }
    AXElement applicationElement(ProcessID pid) override { return AXElement(AXElement::Kind::application, pid); }
    AXError setMessagingTimeout(const AXElement&, double) override { return axerror::cannotComplete; }
    AXAttributeResult copyAttribute(const AXElement&, const std::string&) override {
        return {axerror::cannotComplete, std::nullopt};
    }
    AXError setAttribute(const AXElement&, const std::string&, const AXValue&) override {
        return axerror::cannotComplete;
    }
    AXError performAction(const AXElement&, const std::string&) override { return axerror::cannotComplete; }
};

}  // namespace zentrabo::platform
