#include "screenstream/codec/remote_screen_stream_wire.hpp"

#include <limits>
#include <stdexcept>

#include "platform/binary/big_endian.hpp"
#include "platform/text/case_table.hpp"

namespace zentrabo {

std::string_view RemoteScreenStreamWireError::errorDescription() const {
    static constexpr auto descriptions = platform::caseTable<Case, std::string_view>({
        {Case::invalidMagic, "The Mac returned an invalid stream response."},
        {Case::invalidFrameKind, "The Mac returned an unknown stream frame."},
        {Case::payloadTooLarge, "The Mac returned a stream frame that is too large."},
    });
    return descriptions.entryOr(case_, "The Mac returned an invalid stream response.");
}

const char* RemoteScreenStreamWireError::what() const noexcept { return errorDescription().data(); }

namespace RemoteScreenStreamWire {

using platform::appendBigEndian;
using platform::readUInt16;
using platform::readUInt32;
using platform::readUInt64;

std::vector<std::uint8_t> encode(const RemoteScreenStreamFrame& frame) {
    // Writing a truncated length would desynchronise every frame after this one.
    if (frame.payload.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("stream frame payload does not fit the 32-bit length field");
    }
    std::vector<std::uint8_t> out;
    out.reserve(headerLength + frame.payload.size());
    appendBigEndian(out, magic);
    appendBigEndian(out, rawValue(frame.kind));
    appendBigEndian(out, frame.flags);
    appendBigEndian(out, static_cast<std::uint32_t>(frame.payload.size()));
    appendBigEndian(out, frame.presentationTimeNanoseconds);
    appendBigEndian(out, frame.durationNanoseconds);
    appendBigEndian(out, frame.sequenceNumber);
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    return out;
}

std::optional<RemoteScreenStreamFrame> nextFrame(RemoteScreenStreamReceiveBuffer& buffer) {
    const std::span<const std::uint8_t> bytes = buffer.bytes();
    if (bytes.size() < headerLength) return std::nullopt;
    if (readUInt32(bytes, 0) != magic) {
        throw RemoteScreenStreamWireError(RemoteScreenStreamWireError::Case::invalidMagic);
    }
    RemoteScreenStreamFrame frame;
    if (!fromRawValue(readUInt16(bytes, 4), frame.kind)) {
        throw RemoteScreenStreamWireError(RemoteScreenStreamWireError::Case::invalidFrameKind);
    }
    frame.flags = readUInt16(bytes, 6);
    const std::uint32_t length = readUInt32(bytes, 8);
    if (length > maximumPayloadLength) {
        throw RemoteScreenStreamWireError(RemoteScreenStreamWireError::Case::payloadTooLarge);
    }
    if (bytes.size() - headerLength < length) return std::nullopt;
    frame.presentationTimeNanoseconds = readUInt64(bytes, 12);
    frame.durationNanoseconds = readUInt64(bytes, 20);
    frame.sequenceNumber = readUInt32(bytes, 28);
    frame.payload.assign(bytes.begin() + headerLength, bytes.begin() + headerLength + length);
    buffer.consume(headerLength + length);
    return frame;
}

}  // namespace RemoteScreenStreamWire

std::vector<std::uint8_t> encodedScreenStreamErrorFrame(std::string_view message) {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::error;
    frame.payload.assign(message.begin(), message.end());
    return RemoteScreenStreamWire::encode(frame);
}

}  // namespace zentrabo
