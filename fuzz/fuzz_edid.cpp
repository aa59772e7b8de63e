// Feeds arbitrary bytes, from a heap block of exactly their size, to the
// reader of a monitor's EDID block. A name it finds fits in one display
// descriptor and carries no line feed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_require.hpp"
#include "platform/desktop/x11/edid.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, copy.get());
    const auto name = zentrabo::platform::edidMonitorName(std::span<const std::uint8_t>(copy.get(), size));
    if (!name) return 0;
    zentrabo::fuzzing::require(name->size() <= 13);
    zentrabo::fuzzing::require(name->find('\n') == std::string::npos);
    return 0;
}
