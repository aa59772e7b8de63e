#include "screenstream/remote_video_screen_encoder.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "model/string_enum.hpp"
#include "platform/media/media_error.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

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
    if (static_cast<int>(image.width) != converter_.width() || static_cast<int>(image.height) != converter_.height() ||
        image.pixels.size() != image.rowBytes() * image.height) {
        return;
    }
    sequencer_.notePictureSubmitted(frame.presentationTime);
    const bool forceKeyFrame = shouldForceKeyFrame_ || keyFrameDue(frame.presentationTime);
    shouldForceKeyFrame_ = false;
    try {
        compressionSession_->send(converter_.convert(image.pixels), frame.presentationTime.count(), forceKeyFrame);
        sendFinishedPackets();
    } catch (const platform::MediaError& error) {
        throw RemoteScreenStreamServerError::encodingFailed(error.what());
    }
}

bool RemoteVideoScreenEncoder::keyFrameDue(std::chrono::nanoseconds presentationTime) const {
    return !lastKeyFrameTimeNanoseconds_ ||
           presentationTime.count() - *lastKeyFrameTimeNanoseconds_ >= maximumKeyFrameInterval.count();
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
    const std::string codec(rawValue(sequencer_.format().codec));
    try {
        compressionSession_->setBitrate(reduced);
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
