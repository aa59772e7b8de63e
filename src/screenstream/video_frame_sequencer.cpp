#include "screenstream/video_frame_sequencer.hpp"

#include <cmath>
#include <string>
#include <utility>

#include "model/records/stream_control_payloads.hpp"
#include "platform/text/string_enum.hpp"
#include "screenstream/codec/annex_b.hpp"
#include "screenstream/json_frame.hpp"
#include "screenstream/media_sequence_number.hpp"

namespace zentrabo {
namespace {

constexpr double nanosecondsPerSecond = 1e9;

std::uint64_t frameDurationNanoseconds(int framesPerSecond) {
    if (framesPerSecond <= 0) return 0;
    return static_cast<std::uint64_t>(std::llround(nanosecondsPerSecond / framesPerSecond));
}

// The codec's name followed by its parameter sets: equal signatures mean the
// device already holds this configuration.
Data configurationSignature(RemoteScreenStreamVideoCodec codec, const VideoParameterSets& parameterSets) {
    const std::string_view name = platform::rawValue(codec);
    Data signature(name.begin(), name.end());
    if (parameterSets.vps) signature.insert(signature.end(), parameterSets.vps->begin(), parameterSets.vps->end());
    signature.insert(signature.end(), parameterSets.sps.begin(), parameterSets.sps.end());
    signature.insert(signature.end(), parameterSets.pps.begin(), parameterSets.pps.end());
    return signature;
}

}  // namespace

VideoFrameSequencer::VideoFrameSequencer(VideoStreamFormat format, EncodedFrameHandler onFrame,
                                         std::uint32_t firstSequenceNumber)
    : format_(format),
      onFrame_(std::move(onFrame)),
      nextSequenceNumber_(firstSequenceNumber == 0 ? firstMediaSequenceNumber : firstSequenceNumber),
      frameDurationNanoseconds_(frameDurationNanoseconds(format.framesPerSecond)) {}

void VideoFrameSequencer::notePictureSubmitted(std::chrono::nanoseconds presentationTime) {
    if (!firstPresentationTimeNanoseconds_) firstPresentationTimeNanoseconds_ = presentationTime.count();
}

void VideoFrameSequencer::send(VideoAccessUnit accessUnit, std::optional<std::int64_t> presentationTimeNanoseconds,
                               std::optional<std::int64_t> durationNanoseconds) {
    if (accessUnit.payload.empty()) return;
    const bool keyFrame = accessUnit.isKeyFrame();
    if (keyFrame) sendConfigurationIfChanged(*accessUnit.parameterSets);

    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::video;
    frame.flags = keyFrame ? RemoteScreenStreamFrame::keyFrameFlag : 0;
    frame.sequenceNumber = takeMediaSequenceNumber(nextSequenceNumber_);
    if (presentationTimeNanoseconds && firstPresentationTimeNanoseconds_ &&
        *presentationTimeNanoseconds > *firstPresentationTimeNanoseconds_) {
        frame.presentationTimeNanoseconds =
            static_cast<std::uint64_t>(*presentationTimeNanoseconds - *firstPresentationTimeNanoseconds_);
    }
    frame.durationNanoseconds =
        durationNanoseconds ? static_cast<std::uint64_t>(*durationNanoseconds) : frameDurationNanoseconds_;
    frame.payload = std::move(accessUnit.payload);
    onFrame_(std::move(frame));
}

void VideoFrameSequencer::sendConfigurationIfChanged(const VideoParameterSets& parameterSets) {
    Data signature = configurationSignature(format_.codec, parameterSets);
    if (signature == lastConfigurationSignature_) return;

    const RemoteScreenStreamConfigurationPayload configuration{
        .codec = std::string(platform::rawValue(format_.codec)),
        .width = format_.width,
        .height = format_.height,
        .framesPerSecond = format_.framesPerSecond,
        .vps = parameterSets.vps,
        .sps = parameterSets.sps,
        .pps = parameterSets.pps,
        .nalUnitHeaderLength = static_cast<std::int64_t>(nalUnitLengthPrefixSize),
    };
    RemoteScreenStreamFrame frame = jsonFrame(RemoteScreenStreamFrameKind::configuration, configuration);
    lastConfigurationSignature_ = std::move(signature);
    onFrame_(std::move(frame));
}

}  // namespace zentrabo
