#include "platform/media/video_compression_session.hpp"

#include <sched.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/media/bt709_tags.hpp"
#include "platform/media/media_error.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace zentrabo::platform {
namespace {

// Packet times are the pictures' own, in nanoseconds.
constexpr AVRational nanosecondTimeBase{1, 1'000'000'000};
// x264's sliced threads split each picture, so more threads add no delay;
// past eight the slices grow too small to help.
constexpr unsigned maximumH264Threads = 8;
// The constant rate factors of quality 0 and quality 1.
constexpr double worstRateFactor = 51;
constexpr double bestRateFactor = 18;

// The encoder libraries report progress and statistics at the info level;
// only their errors belong on standard error.
void quietLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

// libx264 asks for transparent huge pages for each of its buffers of 1.75
// MB or more, rounding it up to whole 2 MB pages, and a huge page is resident
// in full from its first touch: at 1080p most of those buffers (each
// thread's, a picture's size) are barely used, yet each cost 2 MB or more,
// about 9 MB a stream in all. With ordinary pages only what an encoder
// touches is resident. The choice is the process's (it has no other use for
// huge pages), made once before the first encoder takes memory.
void declineHugePages() {
    static std::once_flag once;
    std::call_once(once, [] { prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0); });
}

class Options {
public:
    Options() = default;
    ~Options() { av_dict_free(&dictionary_); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;

    void set(const char* key, const char* value) { throwIfMediaError(av_dict_set(&dictionary_, key, value, 0)); }
    AVDictionary** get() { return &dictionary_; }
    // Options the encoder did not take stay behind after opening.
    bool allTaken() const { return av_dict_count(dictionary_) == 0; }

private:
    AVDictionary* dictionary_ = nullptr;
};

// The video buffer holds half a second at the cap: a key frame may take up
// to that much, and the rate over any longer span stays at the cap.
std::int64_t videoBufferBits(std::int64_t bitrate) { return std::min<std::int64_t>(bitrate / 2, INT32_MAX); }

// libx264: the cap as FFmpeg's rate fields, which its wrapper hands to
// x264 at the open and again, reconfiguring it in place, before the next
// picture after a change; likewise the private "crf" option. The cap is
// on from the start: x264 accepts a new one while running only when it was.
void setH264RateControl(AVCodecContext& context, std::int64_t bitrate, double quality) {
    context.bit_rate = bitrate;
    context.rc_max_rate = bitrate;
    context.rc_buffer_size = static_cast<int>(videoBufferBits(bitrate));
    throwIfMediaError(av_opt_set_double(context.priv_data, "crf", constantRateFactor(quality), 0));
}

// libx265: the rate factor and the cap go into the parameters it is opened
// with (kilobits per second). The fastest preset leaves out the sample
// adaptive offset filter; without it the edges of text ring after every key
// frame the cap squeezes, and the pictures that follow spend the whole cap
// mending them, so a screen standing still cost as much as a moving one.
// With it (and sign hiding, nearly free) a still screen stays well below the
// cap, for somewhat more encoding time.
std::string x265Parameters(std::int64_t bitrate, double quality) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "open-gop=0:info=0:log-level=error:sao=1:signhide=1:crf=%.2f:vbv-maxrate=%lld:vbv-bufsize=%lld",
                  constantRateFactor(quality), static_cast<long long>(bitrate / 1000),
                  static_cast<long long>(videoBufferBits(bitrate) / 1000));
    return text;
}

AvCodecContextPtr openContext(const VideoCompressionSettings& settings) {
    quietLibraryLog();
    declineHugePages();
    const bool hevc = settings.codec == VideoCompressionCodec::hevc;
    const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    if (codec == nullptr) throw MediaError(AVERROR_ENCODER_NOT_FOUND);
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) throw MediaError(AVERROR(ENOMEM));

    context->width = settings.width;
    context->height = settings.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    tagBt709LimitedRange(*context);
    context->time_base = nanosecondTimeBase;
    context->framerate = AVRational{settings.framesPerSecond, 1};
    context->gop_size = settings.framesPerSecond;
    context->max_b_frames = 0;
    if (hevc) {
        // The wrapper hands this to x265 as frame threads, each a picture of
        // delay; x265 keeps its own pool for rows.
        context->thread_count = 1;
    } else {
        context->thread_count = h264ThreadCount();
        context->thread_type = FF_THREAD_SLICE;
        setH264RateControl(*context, settings.bitrate, settings.quality);
    }

    Options options;
    options.set("tune", "zerolatency");
    options.set("forced-idr", "1");
    if (hevc) {
        options.set("preset", "ultrafast");
        options.set("profile", "main");
        // Closed GOPs, so periodic key frames are IDR pictures as well.
        options.set("x265-params", x265Parameters(settings.bitrate, settings.quality).c_str());
    } else {
        options.set("preset", "veryfast");
        options.set("profile", "high");
        options.set("coder", "cabac");
    }
    throwIfMediaError(avcodec_open2(context.get(), codec, options.get()));
    // An encoder that ignored part of the low-latency profile would stream
    // with settings nobody chose.
    if (!options.allTaken()) throw MediaError(AVERROR_OPTION_NOT_FOUND);
    return context;
}

std::optional<EncodedVideoPacket> receiveFrom(AVCodecContext& context) {
    AvPacketPtr packet(av_packet_alloc());
    if (!packet) throw MediaError(AVERROR(ENOMEM));
    const int result = avcodec_receive_packet(&context, packet.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return std::nullopt;
    throwIfMediaError(result);
    return EncodedVideoPacket(std::move(packet));
}

}  // namespace

int h264ThreadCount() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const unsigned cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                               ? static_cast<unsigned>(CPU_COUNT(&allowed))
                               : std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1U, maximumH264Threads));
}

double constantRateFactor(double quality) {
    const double bounded = std::isnan(quality) ? 0.0 : std::clamp(quality, 0.0, 1.0);
    return worstRateFactor - bounded * (worstRateFactor - bestRateFactor);
}

EncodedVideoPacket::EncodedVideoPacket(AvPacketPtr packet) : packet_(std::move(packet)) {}

std::span<const std::uint8_t> EncodedVideoPacket::bytes() const {
    return {packet_->data, static_cast<std::size_t>(std::max(packet_->size, 0))};
}

std::optional<std::int64_t> EncodedVideoPacket::presentationTimeNanoseconds() const {
    if (packet_->pts == AV_NOPTS_VALUE) return std::nullopt;
    return packet_->pts;
}

std::optional<std::int64_t> EncodedVideoPacket::durationNanoseconds() const {
    if (packet_->duration <= 0) return std::nullopt;
    return packet_->duration;
}

bool EncodedVideoPacket::isKeyFrame() const { return (packet_->flags & AV_PKT_FLAG_KEY) != 0; }

std::unique_ptr<VideoCompressionSession> VideoCompressionSession::open(const VideoCompressionSettings& settings) {
    return std::unique_ptr<VideoCompressionSession>(new VideoCompressionSession(settings, openContext(settings)));
}

VideoCompressionSession::VideoCompressionSession(VideoCompressionSettings settings, AvCodecContextPtr context)
    : settings_(settings), context_(std::move(context)) {}

VideoCompressionSession::~VideoCompressionSession() = default;

void VideoCompressionSession::send(AVFrame& picture, std::int64_t presentationTimeNanoseconds, bool forceKeyFrame) {
    picture.pts = presentationTimeNanoseconds;
    picture.pict_type = forceKeyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    throwIfMediaError(avcodec_send_frame(context_.get(), &picture));
}

std::optional<EncodedVideoPacket> VideoCompressionSession::receive() {
    if (!retiredPackets_.empty()) {
        EncodedVideoPacket packet = std::move(retiredPackets_.front());
        retiredPackets_.pop_front();
        return packet;
    }
    return receiveFrom(*context_);
}

void VideoCompressionSession::setBitrateAndQuality(std::int64_t bitrate, double quality) {
    if (settings_.codec == VideoCompressionCodec::h264) {
        setH264RateControl(*context_, bitrate, quality);
        settings_.bitrate = bitrate;
        settings_.quality = quality;
        return;
    }
    // libx265's wrapper cannot change a running encoder's rate control.
    VideoCompressionSettings changed = settings_;
    changed.bitrate = bitrate;
    changed.quality = quality;
    AvCodecContextPtr replacement = openContext(changed);
    try {
        finish();
        while (auto packet = receiveFrom(*context_)) retiredPackets_.push_back(std::move(*packet));
    } catch (const MediaError&) {
        // The old encoder failed while finishing: what it still held is
        // lost, and the new one carries on.
    }
    context_ = std::move(replacement);
    settings_ = changed;
}

void VideoCompressionSession::finish() {
    const int result = avcodec_send_frame(context_.get(), nullptr);
    if (result != AVERROR_EOF) throwIfMediaError(result);
}

}  // namespace zentrabo::platform
