#pragma once
// The payload codecs of the input a device sends on a running stream. The
// decoders run on the Mac, on bytes straight from the network: each checks
// emptiness and its size limit before it parses anything. The encoders are
// the device's side and check no limit. All are stateless.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/records/stream_input_errors.hpp"
#include "model/records/stream_input_records.hpp"

namespace zentrabo {

// 20 bytes, big-endian:
//   0 kind (16) | 2 reserved (16), written as 0 | 4 deltaX (IEEE 754 double)
//   12 deltaY (IEEE 754 double)
namespace RemoteScreenPointerEventWire {

inline constexpr std::size_t payloadLength = 20;

std::vector<std::uint8_t> encode(const RemoteScreenPointerEvent& event);
// Throws RemoteScreenPointerEventWireError: invalidPayload below 20 bytes,
// invalidKind for a kind outside 1 ... 14. The reserved bytes and any bytes
// after the 20th are ignored.
RemoteScreenPointerEvent decode(std::span<const std::uint8_t> payload);

}  // namespace RemoteScreenPointerEventWire

// The text's UTF-8 bytes and nothing else.
namespace RemoteScreenPasteTextWire {

inline constexpr std::size_t maximumPayloadLength = 262144;

std::vector<std::uint8_t> encode(std::string_view text);
// Throws RemoteScreenPasteTextWireError: emptyText, then payloadTooLarge,
// then invalidUTF8. Text made only of white space is accepted.
std::string decode(std::span<const std::uint8_t> payload);

}  // namespace RemoteScreenPasteTextWire

// The codec of one JSON payload. The decoder throws Error for an empty
// payload (emptyCase) and for one above maximumPayloadLength, then reads the
// JSON as a request line is read (a key repeated at any depth fails) and
// passes the reader's RecordDecodeError on unchanged. The encoder throws
// platform::JsonWriteError for a number that is not finite.
template <platform::Record R, class ErrorType, typename ErrorType::Case emptyCase>
struct StreamJsonInputWire {
    using Error = ErrorType;
    static constexpr std::size_t maximumPayloadLength = 4096;

    static std::vector<std::uint8_t> encode(const R& record) {
        const std::string json = encodeRecord(record);
        return {json.begin(), json.end()};
    }

    static R decode(std::span<const std::uint8_t> payload) {
        if (payload.empty()) throw Error(emptyCase);
        if (payload.size() > maximumPayloadLength) throw Error(Error::Case::payloadTooLarge);
        return decodeRecordFromNetwork<R>(
            std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
    }
};

using RemoteScreenKeyboardEventWire = StreamJsonInputWire<RemoteScreenKeyboardEvent, RemoteScreenKeyboardEventWireError,
                                                          RemoteScreenKeyboardEventWireErrorCase::emptyEvent>;
using RemoteScreenResizeWindowRequestWire =
    StreamJsonInputWire<RemoteScreenResizeWindowRequest, RemoteScreenResizeWindowRequestWireError,
                        RemoteScreenResizeWindowRequestWireErrorCase::emptyRequest>;
using RemoteScreenHeadPoseEventWire = StreamJsonInputWire<RemoteScreenHeadPoseEvent, RemoteScreenHeadPoseEventWireError,
                                                          RemoteScreenHeadPoseEventWireErrorCase::emptyEvent>;

}  // namespace zentrabo
