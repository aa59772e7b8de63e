#include "screenstream/make_video_encoder.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/dispatch/manual_clock.hpp"
#include "platform/media/media_error.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "support/temporary_home.hpp"
#include "video_stream_support.hpp"

extern "C" {
#include <libavutil/error.h>
}

namespace zentrabo {
namespace {

using platform::VideoCompressionCodec;
using platform::VideoCompressionSettings;
using std::chrono::nanoseconds;

constexpr int frameWidth = 320, frameHeight = 240, frameRate = 24;

// Opens real sessions, except for the codecs told to fail, and notes what it
// was asked for.
struct RecordingOpener {
    std::vector<VideoCompressionCodec> failing;
    std::vector<VideoCompressionSettings> asked = {};

    VideoCompressionSessionOpener opener() {
        return [this](const VideoCompressionSettings& settings) {
            asked.push_back(settings);
            if (std::find(failing.begin(), failing.end(), settings.codec) != failing.end()) {
                throw platform::MediaError(AVERROR_ENCODER_NOT_FOUND);
            }
            return platform::VideoCompressionSession::open(settings);
        };
    }
};

RemoteScreenStreamRequest requestWith(std::optional<std::int64_t> bitrate,
                                      std::optional<RemoteScreenStreamVideoCodec> codec) {
    RemoteScreenStreamRequest request;
    request.bitrate = bitrate;
    request.preferredVideoCodec = codec;
    return request;
}

TEST(MakeVideoEncoder, ClampsTheBitrateAndTriesTheCandidatesInOrder) {
    using Codec = RemoteScreenStreamVideoCodec;
    struct Case {
        const char* name;
        std::optional<std::int64_t> bitrate;
        std::optional<Codec> preferred;
        std::vector<VideoCompressionCodec> failing;
        std::vector<VideoCompressionCodec> tried;
        std::int64_t expectedBitrate;
    };
    const Case cases[] = {
        {"below the floor", 100, Codec::h264, {}, {VideoCompressionCodec::h264}, 500'000},
        {"above the ceiling", 50'000'000, std::nullopt, {}, {VideoCompressionCodec::h264}, 35'000'000},
        {"absent", std::nullopt, std::nullopt, {}, {VideoCompressionCodec::h264}, 2'500'000},
        {"inside", 6'000'000, Codec::hevc, {}, {VideoCompressionCodec::hevc}, 6'000'000},
        {"HEVC falls back",
         std::nullopt,
         Codec::hevc,
         {VideoCompressionCodec::hevc},
         {VideoCompressionCodec::hevc, VideoCompressionCodec::h264},
         2'500'000},
    };
    platform::ManualClock clock;
    for (const Case& c : cases) {
        RecordingOpener opener{.failing = c.failing};
        test::FrameRecorder recorder;
        auto encoder = makeVideoEncoder(requestWith(c.bitrate, c.preferred), frameWidth, frameHeight, frameRate,
                                        recorder.handler(), clock, opener.opener());
        ASSERT_NE(encoder, nullptr) << c.name;
        std::vector<VideoCompressionCodec> tried;
        for (const auto& settings : opener.asked) {
            tried.push_back(settings.codec);
            EXPECT_EQ(settings.bitrate, c.expectedBitrate) << c.name;
            EXPECT_EQ(std::tie(settings.width, settings.height, settings.framesPerSecond),
                      std::tuple(frameWidth, frameHeight, frameRate));
        }
        EXPECT_EQ(tried, c.tried) << c.name;
    }
}

TEST(MakeVideoEncoder, LogsEachFailureAndThrowsTheLast) {
    test::LoggingHome home;
    platform::ManualClock clock;
    const std::string notFound = platform::MediaError(AVERROR_ENCODER_NOT_FOUND).what();

    RecordingOpener hevcFails{.failing = {VideoCompressionCodec::hevc}};
    test::FrameRecorder recorder;
    auto encoder = makeVideoEncoder(requestWith(std::nullopt, RemoteScreenStreamVideoCodec::hevc), frameWidth,
                                    frameHeight, frameRate, recorder.handler(), clock, hevcFails.opener());
    encoder->encode(test::capturedFrame(frameWidth, frameHeight, test::movingBlockPicture(frameWidth, frameHeight, 0),
                                        nanoseconds(0)));
    ASSERT_FALSE(recorder.frames.empty());
    EXPECT_NE(std::string(recorder.frames.front().payload.begin(), recorder.frames.front().payload.end())
                  .find(R"("codec":"h264")"),
              std::string::npos);
    EXPECT_EQ(home.logCount("Screen stream hevc encoder unavailable, trying fallback if possible: Screen streaming "
                            "encoder failed: " +
                            notFound),
              1U)
        << home.logText();

    RecordingOpener allFail{.failing = {VideoCompressionCodec::hevc, VideoCompressionCodec::h264}};
    try {
        makeVideoEncoder(requestWith(std::nullopt, RemoteScreenStreamVideoCodec::hevc), frameWidth, frameHeight,
                         frameRate, recorder.handler(), clock, allFail.opener());
        FAIL() << "no codec opened, yet an encoder came back";
    } catch (const RemoteScreenStreamServerError& error) {
        EXPECT_EQ(error.errorCase(), RemoteScreenStreamServerError::Case::encodingFailed);
        EXPECT_EQ(error.message(), "Screen streaming encoder failed: " + notFound);
    }
    EXPECT_EQ(home.logCount("Screen stream h264 encoder unavailable, trying fallback if possible: "), 1U);
}

// One cut a second at most, a quarter at a time, down to a third of the
// start or 500000, each followed by a key frame.
TEST(MakeVideoEncoder, BitrateCutsFollowTheirRules) {
    struct Step {
        double secondsLater;
        std::optional<std::int64_t> reducedTo;
    };
    struct Case {
        std::int64_t configured;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {6'000'000,
         {{0, 4'500'000},
          {0.5, std::nullopt},
          {0.5, 3'375'000},
          {1, 2'531'250},
          {1, 2'000'000},
          {1, std::nullopt},
          {60, std::nullopt}}},
        {1'200'000, {{0, 900'000}, {1, 675'000}, {1, 506'250}, {1, 500'000}, {1, std::nullopt}}},
        {500'000, {{0, std::nullopt}, {1, std::nullopt}}},
    };
    for (const Case& c : cases) {
        test::LoggingHome home;
        platform::ManualClock clock;
        test::FrameRecorder recorder;
        auto encoder = makeVideoEncoder(requestWith(c.configured, std::nullopt), frameWidth, frameHeight, frameRate,
                                        recorder.handler(), clock);
        int frameIndex = 0;
        auto encodeOne = [&] {
            const auto time = nanoseconds(frameIndex * 40'000'000LL);
            encoder->encode(test::capturedFrame(frameWidth, frameHeight,
                                                test::movingBlockPicture(frameWidth, frameHeight, frameIndex), time));
            ++frameIndex;
            return recorder.videoFrames().back()->flags == RemoteScreenStreamFrame::keyFrameFlag;
        };
        encodeOne();
        std::size_t cuts = 0;
        for (const Step& step : c.steps) {
            clock.advance(step.secondsLater);
            encoder->reduceBitrateForTransportPressure();
            if (step.reducedTo) {
                ++cuts;
                EXPECT_EQ(home.logCount("Screen stream encoder bitrate reduced after transport pressure: codec=h264 "
                                        "bitrate=" +
                                        std::to_string(*step.reducedTo) + "\n"),
                          1U)
                    << c.configured << " to " << *step.reducedTo;
            }
            EXPECT_EQ(home.logCount("bitrate reduced"), cuts) << c.configured;
            EXPECT_EQ(encodeOne(), step.reducedTo.has_value()) << "key frame after a cut, " << c.configured;
        }
    }
}

}  // namespace
}  // namespace zentrabo
