#pragma once

#include <cstdint>
#include <vector>

namespace zentrabo {

// What a stream frame carries; the raw value is the 16-bit kind on the wire.
enum class RemoteScreenStreamFrameKind : std::uint16_t {
    configuration = 1,        // Mac: JSON video configuration, before a key frame with new parameter sets
    video = 2,                // Mac: one encoded access unit
    error = 3,                // Mac: UTF-8 error text, the last frame of a connection
    end = 4,                  // never sent by the Mac; ignored when received
    pointerEvent = 5,         // device: 20-byte binary pointer event
    pasteText = 6,            // device: UTF-8 text
    commandResult = 7,        // Mac: JSON reply to a paste, key or resize request
    keyboardEvent = 8,        // device: JSON
    resizeWindow = 9,         // device: JSON
    audioConfiguration = 10,  // Mac: JSON audio format
    audio = 11,               // Mac: interleaved 16-bit little-endian PCM
    headPose = 12,            // device: JSON
};

constexpr std::uint16_t rawValue(RemoteScreenStreamFrameKind kind) { return static_cast<std::uint16_t>(kind); }

// False for 0 and 13 ... 65535, which name no kind.
bool fromRawValue(std::uint16_t raw, RemoteScreenStreamFrameKind& kind);

struct RemoteScreenStreamFrame {
    // Marks a video frame that is a key frame (sync sample). Every other bit,
    // and this bit on other kinds, is written as 0 and ignored when read.
    static constexpr std::uint16_t keyFrameFlag = 1;

    RemoteScreenStreamFrameKind kind = RemoteScreenStreamFrameKind::error;
    std::uint16_t flags = 0;
    std::uint32_t sequenceNumber = 0;               // media frame counter; 0 where it does not apply
    std::uint64_t presentationTimeNanoseconds = 0;  // 0 where it does not apply
    std::uint64_t durationNanoseconds = 0;          // 0 where it does not apply
    std::vector<std::uint8_t> payload;

    // The wire form, as RemoteScreenStreamWire::encode.
    std::vector<std::uint8_t> encoded() const;

    bool operator==(const RemoteScreenStreamFrame&) const = default;
};

}  // namespace zentrabo
