// Feeds arbitrary bytes to the five decoders of stream input (the first byte
// picks which), and checks that whatever decodes also encodes, and that the
// encoding decodes to the same value.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_require.hpp"
#include "model/records/stream_input_wire.hpp"

namespace {

using zentrabo::fuzzing::require;

using Bytes = std::vector<std::uint8_t>;
using Payload = std::span<const std::uint8_t>;

// Compared by bytes: a NaN read from the wire never equals itself.
void pointer(Payload payload) {
    namespace Wire = zentrabo::RemoteScreenPointerEventWire;
    zentrabo::RemoteScreenPointerEvent event;
    try {
        event = Wire::decode(payload);
    } catch (const zentrabo::RemoteScreenPointerEventWireError&) {
        return;
    }
    Bytes expected(payload.begin(), payload.begin() + Wire::payloadLength);
    expected[2] = 0;
    expected[3] = 0;
    const Bytes encoded = Wire::encode(event);
    require(encoded == expected);
    require(Wire::encode(Wire::decode(encoded)) == encoded);
}

void pasteText(Payload payload) {
    namespace Wire = zentrabo::RemoteScreenPasteTextWire;
    std::string text;
    try {
        text = Wire::decode(payload);
    } catch (const zentrabo::RemoteScreenPasteTextWireError&) {
        return;
    }
    const Bytes encoded = Wire::encode(text);
    require(std::equal(encoded.begin(), encoded.end(), payload.begin(), payload.end()));
    require(Wire::decode(encoded) == text);
}

// A record near the limit may encode a little longer than it came (1e300
// is written 1e+300), and the limit is the receiver's alone, so the
// encoding is read back without it.
template <class Wire>
void json(Payload payload) {
    using Record = decltype(Wire::decode(payload));
    Record record;
    try {
        record = Wire::decode(payload);
    } catch (const typename Wire::Error&) {
        return;
    } catch (const zentrabo::RecordDecodeError&) {
        return;
    }
    const Bytes encoded = Wire::encode(record);
    const std::string_view text(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    require(zentrabo::decodeRecord<Record>(text) == record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo;
    if (size == 0) return 0;
    const Payload payload(data + 1, size - 1);
    switch (data[0] % 5) {
    case 0:
        pointer(payload);
        break;
    case 1:
        pasteText(payload);
        break;
    case 2:
        json<RemoteScreenKeyboardEventWire>(payload);
        break;
    case 3:
        json<RemoteScreenResizeWindowRequestWire>(payload);
        break;
    default:
        json<RemoteScreenHeadPoseEventWire>(payload);
        break;
    }
    return 0;
}
