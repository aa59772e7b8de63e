#pragma once
// Accessibility on an X11 session: the applications' trees on the AT-SPI
// bus, read and pressed on one thread (AtspiThread, AtspiTree). A caller
// waits at most the element's messaging timeout, kept here per element;
// the bus call it started may go on, and its late answer is dropped.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo::platform {

class X11Accessibility final : public Accessibility {
public:
    static constexpr double defaultMessagingTimeout = 6.0;

    X11Accessibility();
    ~X11Accessibility() override;

    bool isProcessTrusted() override;
    bool requestProcessTrust() override;
    std::string processTrustRequestNote() const override;
    AXElement systemWideElement() override;
    AXElement applicationElement(ProcessID pid) override;
    AXError setMessagingTimeout(const AXElement& element, double seconds) override;
    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) override;
    AXError performAction(const AXElement& element, const std::string& action) override;

private:
    struct Bus;
    static std::shared_ptr<Bus> sharedBus();
    std::chrono::milliseconds timeoutOf(const AXElement& element);

    std::shared_ptr<Bus> bus_;
    std::mutex mutex_;
    std::unordered_map<AXElement, double> timeouts_;
};

}  // namespace zentrabo::platform
