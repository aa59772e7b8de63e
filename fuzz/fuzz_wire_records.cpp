// Feeds arbitrary bytes to the request decoder as the network reads it and
// to the reply decoder (the first byte picks which), and checks that
// whatever decodes also encodes and decodes back to an equal record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_require.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"

namespace {

using zentrabo::fuzzing::require;

template <class R, class Decode>
void roundTrip(std::string_view line, Decode decode) {
    R record;
    try {
        record = decode(line);
    } catch (const zentrabo::RecordDecodeError&) {
        return;
    }
    // Every number that was read is finite, so writing cannot fail.
    require(zentrabo::decodeRecord<R>(zentrabo::encodeRecord(record)) == record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        roundTrip<zentrabo::HalvardineResponse>(
            line, [](std::string_view text) { return zentrabo::decodeRecord<zentrabo::HalvardineResponse>(text); });
    } else {
        roundTrip<zentrabo::HalvardineRequest>(line, [](std::string_view text) {
            return zentrabo::decodeRecordFromNetwork<zentrabo::HalvardineRequest>(text);
        });
    }
    return 0;
}
