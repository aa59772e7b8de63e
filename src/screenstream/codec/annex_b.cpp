#include "screenstream/codec/annex_b.hpp"

#include <algorithm>

#include "platform/binary/big_endian.hpp"

namespace zentrabo {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Where the next 00 00 01 starts at or after from; stream.size() when none.
std::size_t findStartCode(Bytes stream, std::size_t from) {
    for (std::size_t index = from; index + 3 <= stream.size(); ++index) {
        if (stream[index + 2] > 1) {
            index += 2;  // no start code can begin at index, index + 1 or index + 2
        } else if (stream[index] == 0 && stream[index + 1] == 0 && stream[index + 2] == 1) {
            return index;
        }
    }
    return stream.size();
}

// The unit without the zero bytes that pad it or begin a 4-byte start code.
Bytes withoutTrailingZeros(Bytes unit) {
    std::size_t size = unit.size();
    while (size > 0 && unit[size - 1] == 0) --size;
    return unit.first(size);
}

}  // namespace

std::vector<std::span<const std::uint8_t>> annexBNalUnits(std::span<const std::uint8_t> stream) {
    std::vector<Bytes> units;
    std::size_t start = findStartCode(stream, 0);
    while (start < stream.size()) {
        const std::size_t unitBegin = start + 3;
        const std::size_t next = findStartCode(stream, unitBegin);
        const Bytes unit = withoutTrailingZeros(stream.subspan(unitBegin, next - unitBegin));
        if (!unit.empty()) units.push_back(unit);
        start = next;
    }
    return units;
}

void appendLengthPrefixedNalUnit(std::vector<std::uint8_t>& payload, std::span<const std::uint8_t> nalUnit) {
    platform::appendBigEndian(payload, static_cast<std::uint32_t>(nalUnit.size()));
    payload.insert(payload.end(), nalUnit.begin(), nalUnit.end());
}

}  // namespace zentrabo
