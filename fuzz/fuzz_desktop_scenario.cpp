// Feeds arbitrary text to the desktop scenario reader, as the server reads
// its scenario file: every fault is a ScenarioError, and a scenario that is
// read keeps the desktop's bounds and writes a file that reads back equal.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_require.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"

namespace {

using zentrabo::fuzzing::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    // A copy of exactly the text's size, so a read past its end is caught.
    const std::string text(reinterpret_cast<const char*>(data), size);
    DesktopScenario scenario;
    try {
        scenario = parseDesktopScenario(std::string_view(text.data(), text.size()));
    } catch (const ScenarioError&) {
        return 0;
    }
    require(!scenario.displays.empty() && scenario.displays.size() <= 16);
    require(scenario.applications.size() <= 256);
    for (const auto& application : scenario.applications) {
        require(application.windows.size() <= desktopMaximumWindowsPerApplication);
    }
    require(parseDesktopScenario(writeDesktopScenario(scenario)) == scenario);
    return 0;
}
