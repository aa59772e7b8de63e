#pragma once
// A test of the X11 accessibility service: the desktop's service, typed
// reads, and the test application's elements found by titles.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/accessibility.hpp"
#include "x11/x11_desktop_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {

using platform::AXElement;
namespace axerror = platform::axerror;

class X11AccessibilityTest : public X11DesktopTest {
protected:
    platform::Accessibility& accessibility() { return desktop->accessibility(); }

    template <typename T>
    std::optional<T> read(const AXElement& element, const std::string& name) {
        const auto result = accessibility().copyAttribute(element, name);
        if (result.error != axerror::success || !result.value) return std::nullopt;
        const auto* value = std::get_if<T>(&*result.value);
        return value ? std::optional<T>(*value) : std::nullopt;
    }

    std::vector<AXElement> children(const AXElement& element) {
        return read<std::vector<AXElement>>(element, "AXChildren").value_or(std::vector<AXElement>{});
    }

    // The menu bar's elements by their path of titles ("File/Recent").
    std::map<std::string, AXElement> menuElements(const AXElement& menuBar) {
        std::map<std::string, AXElement> found;
        std::vector<std::pair<std::string, AXElement>> pending{{"", menuBar}};
        while (!pending.empty()) {
            const auto [path, element] = pending.back();
            pending.pop_back();
            for (const auto& child : children(element)) {
                const auto title = read<std::string>(child, "AXTitle").value_or("");
                if (title.empty()) continue;
                const auto childPath = path.empty() ? title : path + "/" + title;
                found.emplace(childPath, child);
                pending.emplace_back(childPath, child);
            }
        }
        return found;
    }

    AXElement menuBarOf(const TestApplication& application) {
        return read<AXElement>(accessibility().applicationElement(application.pid()), "AXMenuBar")
            .value_or(AXElement());
    }
};

}  // namespace zentrabo::testing
