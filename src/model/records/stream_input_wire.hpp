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

// The JSON payloads. Each decoder throws its error for an empty payload and
// for one above maximumPayloadLength, then reads the JSON as a request line
// is read (a key repeated at any depth fails) and passes the reader's
// RecordDecodeError on unchanged. The encoders throw
// platform::JsonWriteError for a number that is not finite.
namespace RemoteScreenKeyboardEventWire {

inline constexpr std::size_t maximumPayloadLength = 4096;

std::vector<std::uint8_t> encode(const RemoteScreenKeyboardEvent& event);
RemoteScreenKeyboardEvent decode(std::span<const std::uint8_t> payload);

}  // namespace RemoteScreenKeyboardEventWire

namespace RemoteScreenResizeWindowRequestWire {

inline constexpr std::size_t maximumPayloadLength = 4096;

std::vector<std::uint8_t> encode(const RemoteScreenResizeWindowRequest& request);
RemoteScreenResizeWindowRequest decode(std::span<const std::uint8_t> payload);

}  // namespace RemoteScreenResizeWindowRequestWire

namespace RemoteScreenHeadPoseEventWire {

inline constexpr std::size_t maximumPayloadLength = 4096;

std::vector<std::uint8_t> encode(const RemoteScreenHeadPoseEvent& event);
RemoteScreenHeadPoseEvent decode(std::span<const std::uint8_t> payload);

}  // namespace RemoteScreenHeadPoseEventWire

}  // namespace zentrabo
