#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "screenstream/codec/remote_screen_stream_frame.hpp"
#include "screenstream/codec/remote_screen_stream_receive_buffer.hpp"

namespace zentrabo {

// A frame header that cannot be read. The stream cannot resynchronise after
// one, so the reader ends the stream. The texts address the device, which
// reads the Mac's frames; the Mac's own reader reports the same texts.
class RemoteScreenStreamWireError : public std::exception {
public:
    enum class Case { invalidMagic, invalidFrameKind, payloadTooLarge };

    explicit RemoteScreenStreamWireError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    std::string_view errorDescription() const;
    const char* what() const noexcept override;

private:
    Case case_;
};

// The frame codec. A frame is a 32-byte big-endian header followed by its
// payload; frames follow each other back to back:
//   0 magic "HVS1" | 4 kind (16) | 6 flags (16) | 8 payload length (32)
//   12 presentation time ns (64) | 20 duration ns (64) | 28 sequence number (32)
namespace RemoteScreenStreamWire {

inline constexpr std::uint32_t magic = 0x48565331;  // "HVS1"
inline constexpr std::size_t headerLength = 32;
inline constexpr std::uint32_t maximumPayloadLength = 33554432;  // 32 MiB, inclusive

// The frame's wire form, headerLength + payload size bytes, built in one
// allocation. Throws std::length_error for a payload that the 32-bit length
// field cannot describe; it never checks maximumPayloadLength, which senders
// respect themselves.
std::vector<std::uint8_t> encode(const RemoteScreenStreamFrame& frame);

// Takes the first whole frame out of the buffer. Returns nothing, consuming
// nothing, while the buffer holds less than a whole frame. Throws
// RemoteScreenStreamWireError, consuming nothing, for a bad magic, an unknown
// kind or a declared length above maximumPayloadLength, checked in that order
// as soon as the 32 header bytes are there, before any payload arrives; so a
// reader that calls this after each appended chunk never buffers more than
// one maximal frame plus one chunk.
std::optional<RemoteScreenStreamFrame> nextFrame(RemoteScreenStreamReceiveBuffer& buffer);

}  // namespace RemoteScreenStreamWire

// The whole wire form of the error frame that refuses or ends a stream: kind
// error, flags, sequence number and both times 0, the text's UTF-8 bytes as
// payload.
std::vector<std::uint8_t> encodedScreenStreamErrorFrame(std::string_view message);

}  // namespace zentrabo
