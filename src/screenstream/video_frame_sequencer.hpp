#pragma once
// Turns an encoder's access units into the stream's frames: a configuration
// frame ahead of a key frame whose parameter sets differ from the last ones
// sent, and one video frame per access unit with its sequence number and
// its times relative to the encoder's first picture.
#include <chrono>
#include <cstdint>
#include <optional>

#include "model/records/stream_records.hpp"
#include "screenstream/video_access_unit.hpp"
#include "screenstream/video_encoder.hpp"

namespace zentrabo {

struct VideoStreamFormat {
    RemoteScreenStreamVideoCodec codec = RemoteScreenStreamVideoCodec::h264;
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
};

class VideoFrameSequencer {
public:
    // Sequence numbers start at firstSequenceNumber (1 for a new stream;
    // tests start elsewhere) and never take 0.
    VideoFrameSequencer(VideoStreamFormat format, EncodedFrameHandler onFrame, std::uint32_t firstSequenceNumber = 1);

    const VideoStreamFormat& format() const { return format_; }

    // The capture time of the first picture submitted; later times count from it.
    void notePictureSubmitted(std::chrono::nanoseconds presentationTime);

    // Hands the frames of one access unit to onFrame. The times are the
    // picture's capture time and duration, when the encoder gave them. An
    // access unit without video data sends nothing.
    void send(VideoAccessUnit accessUnit, std::optional<std::int64_t> presentationTimeNanoseconds,
              std::optional<std::int64_t> durationNanoseconds);

private:
    void sendConfigurationIfChanged(const VideoParameterSets& parameterSets);

    VideoStreamFormat format_;
    EncodedFrameHandler onFrame_;
    std::uint32_t nextSequenceNumber_;
    std::optional<std::int64_t> firstPresentationTimeNanoseconds_;
    std::optional<Data> lastConfigurationSignature_;
    std::uint64_t frameDurationNanoseconds_;
};

}  // namespace zentrabo
