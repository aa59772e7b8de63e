#include "platform/desktop/x11/x11_accessibility.hpp"

#include <atspi/atspi.h>

#include <cmath>

#include "platform/desktop/x11/atspi_status.hpp"
#include "platform/desktop/x11/atspi_thread.hpp"
#include "platform/desktop/x11/atspi_tree.hpp"

namespace zentrabo::platform {
namespace {

// How long the constructor waits for the thread to reach the bus.
constexpr auto kStartTimeout = std::chrono::seconds(5);

}  // namespace

// The library keeps one connection per process, so every desktop of the
// process shares one thread and one tree while any of them lives.
struct X11Accessibility::Bus {
    std::unique_ptr<AtspiTree> tree = std::make_unique<AtspiTree>();
    AtspiThread thread{[] {}};
    bool ready = false;

    Bus() {
        // Without a bus the library ends the process on its next call, so
        // nothing else runs when this fails.
        ready = thread
                    .call(
                        [] {
                            if (atspi_init() > 1) return false;
                            AtspiAccessible* desktop = atspi_get_desktop(0);
                            if (desktop) g_object_unref(desktop);
                            return desktop != nullptr;
                        },
                        kStartTimeout)
                    .value_or(false);
    }
    ~Bus() {
        // The tree's references go on the thread that made them.
        thread.call(
            [this] {
                tree.reset();
                return true;
            },
            kStartTimeout);
    }
};

std::shared_ptr<X11Accessibility::Bus> X11Accessibility::sharedBus() {
    static std::mutex mutex;
    static std::weak_ptr<Bus> shared;
    const std::lock_guard lock(mutex);
    auto bus = shared.lock();
    if (!bus) {
        bus = std::make_shared<Bus>();
        shared = bus;
    }
    return bus;
}

X11Accessibility::X11Accessibility() : bus_(sharedBus()) {}

X11Accessibility::~X11Accessibility() = default;

// Usable when the library reached the bus and the session's accessibility
// switch is on, as assistive tools expect it to be.
bool X11Accessibility::isProcessTrusted() { return bus_->ready && AtspiStatus::session().enabled(); }

// Turning the switch on is what a desktop's accessibility setting does.
bool X11Accessibility::requestProcessTrust() { return bus_->ready && AtspiStatus::session().enable(); }

// Applications that do not listen for the switch decide at their start
// whether to join the bus.
std::string X11Accessibility::processTrustRequestNote() const {
    return "Applications started while accessibility was off may need a restart before they can be read.";
}

AXElement X11Accessibility::systemWideElement() { return AXElement(AXElement::Kind::systemWide, 0); }

AXElement X11Accessibility::applicationElement(ProcessID pid) { return AXElement(AXElement::Kind::application, pid); }

AXError X11Accessibility::setMessagingTimeout(const AXElement& element, double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return axerror::illegalArgument;
    const std::lock_guard lock(mutex_);
    if (seconds == 0) {
        timeouts_.erase(element);
        return axerror::success;
    }
    if (timeouts_.size() >= AtspiTree::maxElements && !timeouts_.contains(element)) timeouts_.erase(timeouts_.begin());
    timeouts_[element] = seconds;
    return axerror::success;
}

std::chrono::milliseconds X11Accessibility::timeoutOf(const AXElement& element) {
    const std::lock_guard lock(mutex_);
    double seconds = defaultMessagingTimeout;
    if (const auto own = timeouts_.find(element); own != timeouts_.end()) {
        seconds = own->second;
    } else if (const auto all = timeouts_.find(systemWideElement()); all != timeouts_.end()) {
        seconds = all->second;
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

AXAttributeResult X11Accessibility::copyAttribute(const AXElement& element, const std::string& name) {
    if (!bus_->ready) return {axerror::apiDisabled, std::nullopt};
    const auto timeout = timeoutOf(element);
    auto result = bus_->thread.call(
        [tree = bus_->tree.get(), element, name, timeout] {
            // The library's own timeout is global; only this thread calls it.
            atspi_set_timeout(static_cast<int>(timeout.count()), static_cast<int>(timeout.count()));
            return tree->copyAttribute(element, name);
        },
        timeout);
    return result.value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

AXError X11Accessibility::setAttribute(const AXElement&, const std::string&, const AXValue&) {
    if (!bus_->ready) return axerror::apiDisabled;
    return axerror::attributeUnsupported;
}

AXError X11Accessibility::performAction(const AXElement& element, const std::string& action) {
    if (!bus_->ready) return axerror::apiDisabled;
    const auto timeout = timeoutOf(element);
    const auto result = bus_->thread.call(
        [tree = bus_->tree.get(), element, action, timeout] {
            atspi_set_timeout(static_cast<int>(timeout.count()), static_cast<int>(timeout.count()));
            return tree->performAction(element, action);
        },
        timeout);
    return result.value_or(axerror::cannotComplete);
}

}  // namespace zentrabo::platform
