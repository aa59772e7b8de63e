#include "model/records/stream_input_wire.hpp"

#include <bit>

#include "platform/binary/big_endian.hpp"
#include "platform/text/utf8.hpp"

namespace zentrabo {
namespace {

std::string_view textOf(std::span<const std::uint8_t> payload) {
    return {reinterpret_cast<const char*>(payload.data()), payload.size()};
}

}  // namespace

namespace RemoteScreenPointerEventWire {

std::vector<std::uint8_t> encode(const RemoteScreenPointerEvent& event) {
    std::vector<std::uint8_t> out;
    out.reserve(payloadLength);
    platform::appendBigEndian(out, rawValue(event.kind));
    platform::appendBigEndian(out, std::uint16_t{0});
    platform::appendBigEndian(out, std::bit_cast<std::uint64_t>(event.deltaX));
    platform::appendBigEndian(out, std::bit_cast<std::uint64_t>(event.deltaY));
    return out;
}

RemoteScreenPointerEvent decode(std::span<const std::uint8_t> payload) {
    using Error = RemoteScreenPointerEventWireError;
    if (payload.size() < payloadLength) throw Error(Error::Case::invalidPayload);
    RemoteScreenPointerEvent event;
    if (!fromRawValue(platform::readUInt16(payload, 0), event.kind)) throw Error(Error::Case::invalidKind);
    event.deltaX = std::bit_cast<double>(platform::readUInt64(payload, 4));
    event.deltaY = std::bit_cast<double>(platform::readUInt64(payload, 12));
    return event;
}

}  // namespace RemoteScreenPointerEventWire

namespace RemoteScreenPasteTextWire {

std::vector<std::uint8_t> encode(std::string_view text) { return {text.begin(), text.end()}; }

std::string decode(std::span<const std::uint8_t> payload) {
    using Error = RemoteScreenPasteTextWireError;
    if (payload.empty()) throw Error(Error::Case::emptyText);
    if (payload.size() > maximumPayloadLength) throw Error(Error::Case::payloadTooLarge);
    const std::string_view text = textOf(payload);
    if (!platform::isValidUtf8(text)) throw Error(Error::Case::invalidUTF8);
    return std::string(text);
}

}  // namespace RemoteScreenPasteTextWire

}  // namespace zentrabo
