// Splits arbitrary bytes as an Annex-B stream and checks what comes out: each
// unit lies inside the input, in order, without overlap, starts right after
// a start code, is neither empty nor ends in a zero byte, and the
// length-prefixed payload built from the units reads back to the same units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz_require.hpp"
#include "screenstream/codec/annex_b.hpp"

namespace {

using zentrabo::fuzzing::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo;
    const std::span<const std::uint8_t> stream(data, size);
    const auto units = annexBNalUnits(stream);

    const std::uint8_t* previousEnd = data;
    std::vector<std::uint8_t> payload;
    for (const auto unit : units) {
        require(!unit.empty() && unit.back() != 0);
        require(unit.data() >= previousEnd + 3 && unit.data() + unit.size() <= data + size);
        require(unit.data()[-3] == 0 && unit.data()[-2] == 0 && unit.data()[-1] == 1);
        previousEnd = unit.data() + unit.size();
        appendLengthPrefixedNalUnit(payload, unit);
    }

    std::size_t offset = 0;
    for (const auto unit : units) {
        require(payload.size() - offset >= nalUnitLengthPrefixSize);
        const std::size_t length = std::size_t{payload[offset]} << 24 | std::size_t{payload[offset + 1]} << 16 |
                                   std::size_t{payload[offset + 2]} << 8 | payload[offset + 3];
        offset += nalUnitLengthPrefixSize;
        require(length == unit.size() && std::memcmp(payload.data() + offset, unit.data(), length) == 0);
        offset += length;
    }
    require(offset == payload.size());
    return 0;
}
