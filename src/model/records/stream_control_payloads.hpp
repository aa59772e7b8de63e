#pragma once
// What the Mac tells the device on a running stream besides the media
// itself: the video and audio formats ahead of their frames, and the result
// of each text, keyboard or resize command.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "model/data.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/stream_records.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo {

// The video format, sent with a key frame whose parameter sets differ from
// the last ones sent. Each parameter set is the bare NAL unit, without start
// code or length prefix.
struct RemoteScreenStreamConfigurationPayload {
    std::string codec;  // "h264" or "hevc"; free text, so a device reads codecs it does not know
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t framesPerSecond = 0;
    std::optional<Data> vps;  // HEVC only
    Data sps;
    Data pps;
    // Bytes of the big-endian length in front of each NAL unit of a video payload.
    std::int64_t nalUnitHeaderLength = 0;

    static constexpr auto jsonFields() {
        using R = RemoteScreenStreamConfigurationPayload;
        return std::tuple{field("codec", &R::codec),   field("width", &R::width),
                          field("height", &R::height), field("framesPerSecond", &R::framesPerSecond),
                          field("vps", &R::vps),       field("sps", &R::sps),
                          field("pps", &R::pps),       field("nalUnitHeaderLength", &R::nalUnitHeaderLength)};
    }
};

// The audio format, sent whenever the output format changes.
struct RemoteScreenStreamAudioConfigurationPayload {
    RemoteScreenStreamAudioCodec codec = RemoteScreenStreamAudioCodec::pcm16LE;
    double sampleRate = 0;  // per channel
    std::int64_t channelCount = 0;
    std::int64_t bitsPerChannel = 0;
    bool isInterleaved = false;  // whether the channels' samples alternate within a payload

    static constexpr auto jsonFields() {
        using R = RemoteScreenStreamAudioConfigurationPayload;
        return std::tuple{field("codec", &R::codec), field("sampleRate", &R::sampleRate),
                          field("channelCount", &R::channelCount), field("bitsPerChannel", &R::bitsPerChannel),
                          field("isInterleaved", &R::isInterleaved)};
    }
};

// The device's commands that the Mac answers with a result.
enum class RemoteScreenStreamCommandKind { pasteText, keyboardEvent, resizeWindow };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamCommandKind>
    : platform::RawValues<"pasteText", "keyboardEvent", "resizeWindow"> {};

// The answer to one command.
struct RemoteScreenStreamCommandResultPayload {
    RemoteScreenStreamCommandKind command = RemoteScreenStreamCommandKind::pasteText;
    bool succeeded = false;
    std::optional<std::string> message;  // for the user

    static constexpr auto jsonFields() {
        using R = RemoteScreenStreamCommandResultPayload;
        return std::tuple{field("command", &R::command), field("succeeded", &R::succeeded),
                          field("message", &R::message)};
    }
};

}  // namespace zentrabo
