#pragma once
// A virtual desktop on a manual clock in a temporary home, with small helpers
// to find elements the way the controllers do.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "temporary_home.hpp"

namespace zentrabo::platform {

class DesktopTest : public ::testing::Test {
protected:
    void start(const DesktopBuilder& builder) { desktop = VirtualDesktop::create(builder.build(), clock); }

    std::shared_ptr<RunningApplication> running(const std::string& bundleIdentifier) {
        for (auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() == bundleIdentifier) return application;
        }
        return nullptr;
    }

    AXAttributeResult read(const AXElement& element, const std::string& name) {
        return desktop->copyAttribute(element, name);
    }

    std::vector<AXElement> children(const AXElement& element) {
        auto result = read(element, "AXChildren");
        if (!result.value) return {};
        return std::get<std::vector<AXElement>>(*result.value);
    }

    std::string title(const AXElement& element) {
        auto result = read(element, "AXTitle");
        return result.value ? std::get<std::string>(*result.value) : std::string();
    }

    // Walks the menu bar by titles; an AXMenu in between is stepped through.
    AXElement menuElement(const std::string& bundleIdentifier, const std::vector<std::string>& path) {
        auto application = desktop->applicationElement(running(bundleIdentifier)->processIdentifier());
        AXElement current = std::get<AXElement>(*read(application, "AXMenuBar").value);
        for (const auto& step : path) {
            auto siblings = children(current);
            if (siblings.size() == 1 && std::get<std::string>(*read(siblings[0], "AXRole").value) == "AXMenu") {
                siblings = children(siblings[0]);
            }
            bool found = false;
            for (const auto& sibling : siblings) {
                if (title(sibling) == step) {
                    current = sibling;
                    found = true;
                    break;
                }
            }
            if (!found) ADD_FAILURE() << "no menu item " << step;
        }
        return current;
    }

    std::vector<std::string> journalTexts() {
        std::vector<std::string> texts;
        for (const auto& entry : desktop->journal()) texts.push_back(entry.text());
        return texts;
    }

    TemporaryHome home;
    ManualClock clock;
    std::shared_ptr<VirtualDesktop> desktop;
};

}  // namespace zentrabo::platform
