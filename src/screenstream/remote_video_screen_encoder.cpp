#include "screenstream/remote_video_screen_encoder.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "platform/text/string_enum.hpp"
#include "platform/media/media_error.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/video_quality.hpp"

extern "C" {
#include <libavutil/frame.h>
}

namespace zentrabo {
namespace {

// A key frame at least this often, whatever the frame rate.
constexpr std::chrono::nanoseconds maximumKeyFrameInterval = std::chrono::seconds(1);
// Seconds between two bitrate cuts.
constexpr double transportPressureAdjustmentSpacing = 1.0;
constexpr std::int64_t minimumBitrate = 500'000;

}  // namespace

RemoteVideoScreenEncoder::RemoteVideoScreenEncoder(
    VideoStreamFormat format, std::int64_t bitrate,
    std::unique_ptr<platform::VideoCompressionSession> compressionSession, EncodedFrameHandler onFrame,
    const platform::Clock& clock, std::uint32_t firstSequenceNumber)
    : compressionSession_(std::move(compressionSession)),
      converter_(format.width, format.height),
      sequencer_(format, std::move(onFrame), firstSequenceNumber),
      clock_(clock),
      configuredBitrate_(bitrate),
      activeBitrate_(bitrate) {}

void RemoteVideoScreenEncoder::encode(const CapturedVideoFrame& frame) {
    if (!compressionSession_) return;
    const platform::RgbaImage& image = frame.image;
    AVFrame* const given = frame.encoderPicture.get();
    if (given ? given->width != converter_.width() || given->height != converter_.height() ||
                    given->format != AV_PIX_FMT_YUV420P
              : static_cast<int>(image.width) != converter_.width() ||
                    static_cast<int>(image.height) != converter_.height() ||
                    image.pixels.size() != image.rowBytes() * image.height) {
        return;
    }
    sequencer_.notePictureSubmitted(frame.presentationTime);
    notePictureTime(frame.presentationTime);
    const bool forceKeyFrame = shouldForceKeyFrame_ || keyFrameDue(frame.presentationTime);
    shouldForceKeyFrame_ = false;
    try {
        AVFrame& picture = given ? *given : converter_.convert(image.pixels);
        compressionSession_->send(picture, frame.presentationTime.count(), forceKeyFrame);
        sendFinishedPackets();
    } catch (const platform::MediaError& error) {
        throw RemoteScreenStreamServerError::encodingFailed(error.what());
    }
}

void RemoteVideoScreenEncoder::notePictureTime(std::chrono::nanoseconds presentationTime) {
    if (lastPictureTime_) {
        const auto gap = std::max(presentationTime - *lastPictureTime_, std::chrono::nanoseconds(0));
        recentPictureGaps_.push_back({presentationTime, gap});
    }
    lastPictureTime_ = presentationTime;
    while (!recentPictureGaps_.empty() &&
           recentPictureGaps_.front().time < presentationTime - maximumKeyFrameInterval) {
        recentPictureGaps_.pop_front();
    }
}

bool RemoteVideoScreenEncoder::keyFrameDue(std::chrono::nanoseconds presentationTime) const {
    if (!lastKeyFrameTimeNanoseconds_) return true;
    // The key frame is this picture when the next one could come too late
    // for it: one frame interval from now or, when the pictures of the last
    // second came unevenly (a busy machine delivers some late), their
    // slowest gap widened by their spread, as the next may be later still.
    // Waiting until the second has passed would put every key frame a
    // little more than a second after the last.
    std::chrono::nanoseconds expectedGap(1'000'000'000 / std::max(sequencer_.format().framesPerSecond, 1));
    if (!recentPictureGaps_.empty()) {
        const auto [fastest, slowest] =
            std::minmax_element(recentPictureGaps_.begin(), recentPictureGaps_.end(),
                                [](const PictureGap& left, const PictureGap& right) { return left.gap < right.gap; });
        expectedGap = std::max(expectedGap, slowest->gap + (slowest->gap - fastest->gap));
    }
    const std::chrono::nanoseconds sinceKeyFrame(presentationTime.count() - *lastKeyFrameTimeNanoseconds_);
    return sinceKeyFrame + expectedGap > maximumKeyFrameInterval;
}

void RemoteVideoScreenEncoder::sendFinishedPackets() {
    while (auto packet = compressionSession_->receive()) {
        VideoAccessUnit accessUnit = makeVideoAccessUnit(sequencer_.format().codec, packet->bytes());
        const auto presentationTime = packet->presentationTimeNanoseconds();
        if (accessUnit.isKeyFrame() && presentationTime) lastKeyFrameTimeNanoseconds_ = presentationTime;
        sequencer_.send(std::move(accessUnit), presentationTime, packet->durationNanoseconds());
    }
}

void RemoteVideoScreenEncoder::requestKeyFrame() { shouldForceKeyFrame_ = true; }

void RemoteVideoScreenEncoder::reduceBitrateForTransportPressure() {
    if (!compressionSession_) return;
    const double now = clock_.monotonicNow();
    if (lastTransportPressureAdjustmentTime_ &&
        now - *lastTransportPressureAdjustmentTime_ < transportPressureAdjustmentSpacing) {
        return;
    }
    // A quarter less per cut, never below a third of the start or the floor.
    const std::int64_t candidate = std::max(activeBitrate_ * 3 / 4, configuredBitrate_ / 3);
    const std::int64_t reduced = std::max(candidate, minimumBitrate);
    if (reduced >= activeBitrate_) return;

    lastTransportPressureAdjustmentTime_ = now;
    shouldForceKeyFrame_ = true;
    const std::string codec(platform::rawValue(sequencer_.format().codec));
    try {
        // The quality follows the new bitrate's row (libx264 in place,
        // libx265 reopened; the key frame is forced either way).
        compressionSession_->setBitrateAndQuality(reduced, streamVideoQuality(sequencer_.format().codec, reduced));
    } catch (const platform::MediaError& error) {
        ZENTRABO_LOG("Screen stream encoder bitrate could not be reduced: codec=" + codec + " " + error.what());
        return;
    }
    activeBitrate_ = reduced;
    ZENTRABO_LOG("Screen stream encoder bitrate reduced after transport pressure: codec=" + codec +
                 " bitrate=" + std::to_string(reduced));
}

void RemoteVideoScreenEncoder::shutdown() {
    if (!compressionSession_) return;
    try {
        compressionSession_->finish();
        sendFinishedPackets();
    } catch (const platform::MediaError&) {
        // The stream is ending; pictures the encoder could not finish are dropped.
    }
    compressionSession_.reset();
}

}  // namespace zentrabo
