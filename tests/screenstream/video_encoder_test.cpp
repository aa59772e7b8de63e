#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/manual_clock.hpp"
#include "platform/media/rgba_to_yuv420_converter.hpp"
#include "platform/media/video_compression_session.hpp"
#include "platform/media/yuv420_picture_pool.hpp"
#include "screenstream/make_video_encoder.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_video_screen_encoder.hpp"
#include "screenstream/video_access_unit.hpp"
#include "support/temporary_home.hpp"
#include "video_stream_support.hpp"

extern "C" {
#include <libavutil/frame.h>
}

namespace zentrabo {
namespace {

using Codec = RemoteScreenStreamVideoCodec;
using std::chrono::nanoseconds;

constexpr int width = 320, height = 240, framesPerSecond = 24;
constexpr nanoseconds frameInterval(1'000'000'000 / framesPerSecond);

struct CodecCase {
    const char* name;
    Codec codec;
    const char* format;  // ffmpeg's name of the raw stream
};

constexpr CodecCase codecCases[] = {{"h264", Codec::h264, "h264"}, {"hevc", Codec::hevc, "hevc"}};

platform::VideoCompressionCodec platformCodec(Codec codec) {
    return codec == Codec::hevc ? platform::VideoCompressionCodec::hevc : platform::VideoCompressionCodec::h264;
}

class VideoEncoderTest : public ::testing::TestWithParam<CodecCase> {
protected:
    bool hevc() const { return GetParam().codec == Codec::hevc; }

    std::unique_ptr<VideoEncoder> makeEncoder(std::int64_t bitrate, std::uint32_t firstSequenceNumber = 1) {
        const platform::VideoCompressionSettings settings{platformCodec(GetParam().codec), width, height,
                                                          framesPerSecond, bitrate};
        return std::make_unique<RemoteVideoScreenEncoder>(
            VideoStreamFormat{GetParam().codec, width, height, framesPerSecond}, bitrate,
            platform::VideoCompressionSession::open(settings), recorder.handler(), clock, firstSequenceNumber);
    }

    // Encodes pictures from the generator at the frame interval, starting at
    // the capture time of frame firstIndex.
    template <typename Generator>
    void encodeFrames(VideoEncoder& encoder, int firstIndex, int count, Generator picture) {
        for (int index = firstIndex; index < firstIndex + count; ++index) {
            encoder.encode(test::capturedFrame(width, height, picture(index), startTime + index * frameInterval));
        }
    }

    std::size_t videoBytesFrom(std::size_t firstVideoFrame, std::size_t count) const {
        const auto video = recorder.videoFrames();
        std::size_t bytes = 0;
        for (std::size_t index = firstVideoFrame; index < firstVideoFrame + count && index < video.size(); ++index) {
            bytes += video[index]->payload.size();
        }
        return bytes;
    }

    test::LoggingHome home;
    platform::ManualClock clock;
    test::FrameRecorder recorder;
    const nanoseconds startTime{123'000'000'000};
};

auto moving = [](int index) { return test::movingBlockPicture(width, height, index); };

// One video frame per picture, numbered from 1 and timed from the first;
// one configuration ahead of the first key frame serves every later one;
// a requested key frame is an IDR picture; the stream decodes.
TEST_P(VideoEncoderTest, EncodesOneFramePerPictureAndDecodes) {
    auto encoder = makeEncoder(1'000'000);
    encodeFrames(*encoder, 0, 10, moving);
    encoder->requestKeyFrame();
    encodeFrames(*encoder, 10, 20, moving);
    encoder->shutdown();
    encoder->encode(test::capturedFrame(width, height, moving(30), startTime + 30 * frameInterval));

    const auto video = recorder.videoFrames();
    ASSERT_EQ(video.size(), 30U);
    std::set<std::uint32_t> keyFrames;
    for (std::size_t index = 0; index < video.size(); ++index) {
        EXPECT_EQ(video[index]->sequenceNumber, index + 1);
        EXPECT_EQ(video[index]->presentationTimeNanoseconds,
                  static_cast<std::uint64_t>((index * frameInterval).count()));
        EXPECT_EQ(video[index]->durationNanoseconds, 41'666'667U);  // 1/24 s
        const bool key = video[index]->flags == RemoteScreenStreamFrame::keyFrameFlag;
        EXPECT_EQ(key, test::holdsIdrSlice(hevc(), video[index]->payload)) << "frame " << index;
        if (key) keyFrames.insert(static_cast<std::uint32_t>(index));
    }
    EXPECT_TRUE(keyFrames.contains(0));
    EXPECT_TRUE(keyFrames.contains(10));
    EXPECT_EQ(recorder.frames.front().kind, RemoteScreenStreamFrameKind::configuration);
    EXPECT_EQ(recorder.ofKind(RemoteScreenStreamFrameKind::configuration).size(), 1U);
    test::expectDecodesCleanly(recorder.frames, GetParam().format, std::string(GetParam().name) + ",320,240");
}

// The encoder's key mark and the NAL types agree on every packet, periodic
// key frames (every framesPerSecond pictures) included.
TEST_P(VideoEncoderTest, KeyMarkAgreesWithTheNalTypes) {
    constexpr int shortInterval = 5;
    auto session = platform::VideoCompressionSession::open(
        {platformCodec(GetParam().codec), width, height, shortInterval, 1'000'000});
    platform::RgbaToYuv420Converter converter(width, height);
    int keyFrames = 0;
    for (int index = 0; index < 12; ++index) {
        session->send(converter.convert(moving(index)), index * 200'000'000LL, index == 3);
        while (auto packet = session->receive()) {
            const bool key = makeVideoAccessUnit(GetParam().codec, packet->bytes()).isKeyFrame();
            EXPECT_EQ(packet->isKeyFrame(), key) << "picture " << index;
            keyFrames += key ? 1 : 0;
        }
    }
    EXPECT_GE(keyFrames, 3);  // the first, the forced one and at least one periodic one
}

// However the pictures come, seldom or late, no two key frames are more than
// a second of capture time apart, and none comes much sooner than needed.
TEST_P(VideoEncoderTest, KeyFramesAtMostOneSecondApartWhateverThePace) {
    struct Pace {
        const char* name;
        int pictures;
        nanoseconds interval;
        nanoseconds greatestLateness;  // each picture late by up to this
        nanoseconds shortestKeyFrameGap;
    };
    const Pace paces[] = {
        {"seldom", 12, nanoseconds(350'000'000), nanoseconds(0), nanoseconds(700'000'000)},
        {"on time", 96, frameInterval, nanoseconds(0), nanoseconds(950'000'000)},
        {"late on a busy machine", 96, frameInterval, nanoseconds(30'000'000), nanoseconds(800'000'000)},
    };
    for (const auto& pace : paces) {
        SCOPED_TRACE(pace.name);
        recorder.frames.clear();
        auto encoder = makeEncoder(1'000'000);
        std::mt19937 random(11);
        for (int index = 0; index < pace.pictures; ++index) {
            const nanoseconds lateness(pace.greatestLateness.count() > 0
                                           ? static_cast<std::int64_t>(random() % pace.greatestLateness.count())
                                           : 0);
            encoder->encode(
                test::capturedFrame(width, height, moving(index), startTime + index * pace.interval + lateness));
        }
        std::vector<std::uint64_t> keyTimes;
        for (const auto* frame : recorder.videoFrames()) {
            if (frame->flags == RemoteScreenStreamFrame::keyFrameFlag)
                keyTimes.push_back(frame->presentationTimeNanoseconds);
        }
        ASSERT_FALSE(keyTimes.empty());
        EXPECT_EQ(keyTimes.front(), 0U);
        for (std::size_t index = 1; index < keyTimes.size(); ++index) {
            const auto gap = static_cast<std::int64_t>(keyTimes[index] - keyTimes[index - 1]);
            EXPECT_LE(gap, 1'000'000'000) << "key frame at " << keyTimes[index];
            EXPECT_GE(gap, pace.shortestKeyFrameGap.count()) << "key frame at " << keyTimes[index];
        }
    }
}

// Cutting to a third of the bitrate shrinks a noisy stream that fills it; an
// HEVC stream reopens its encoder for that, and still decodes across it.
TEST_P(VideoEncoderTest, BitrateCutShrinksTheStream) {
    constexpr std::int64_t configured = 3'000'000;
    constexpr int window = 48;
    auto encoder = makeEncoder(configured);
    auto noise = [](int index) { return test::noisyPicture(width, height, static_cast<std::uint32_t>(index)); };
    encodeFrames(*encoder, 0, window, noise);
    for (int cut = 0; cut < 4; ++cut) {
        encoder->reduceBitrateForTransportPressure();
        clock.advance(1.0);
    }
    EXPECT_EQ(home.logCount("bitrate=1000000"), 1U) << home.logText();
    encodeFrames(*encoder, window, window, noise);

    const std::size_t before = videoBytesFrom(0, window);
    const std::size_t after = videoBytesFrom(window, window);
    EXPECT_LT(static_cast<double>(after), 0.6 * static_cast<double>(before)) << before << " then " << after;
    EXPECT_EQ(recorder.videoFrames()[window]->flags, RemoteScreenStreamFrame::keyFrameFlag);
    test::expectDecodesCleanly(recorder.frames, GetParam().format, std::string(GetParam().name) + ",320,240");
}

// A cut from 25 to 18.75 Mbit/s crosses into the lower quality: the same
// picture's key frame shrinks though neither cap comes near it.
TEST_P(VideoEncoderTest, ACutIntoTheLowerQualityRowShrinksTheSamePicture) {
    auto encoder = makeEncoder(25'000'000);
    const auto still = [](int) { return test::movingBlockPicture(width, height, 0); };
    encodeFrames(*encoder, 0, 1, still);
    encoder->reduceBitrateForTransportPressure();
    encodeFrames(*encoder, 1, 1, still);
    const auto video = recorder.videoFrames();
    ASSERT_EQ(video.size(), 2U);
    EXPECT_EQ(video[1]->flags, RemoteScreenStreamFrame::keyFrameFlag);
    EXPECT_LT(static_cast<double>(video[1]->payload.size()), 0.9 * static_cast<double>(video[0]->payload.size()))
        << video[0]->payload.size() << " then " << video[1]->payload.size();
    EXPECT_EQ(home.logCount("bitrate=18750000"), 1U) << home.logText();
}

// Pictures a capture drew in the encoder's format go in as they are, beside
// RGBA ones; one of another size is skipped like an RGBA one.
TEST_P(VideoEncoderTest, PicturesInTheEncodersFormatAreEncodedAsTheyAre) {
    auto encoder = makeEncoder(1'000'000);
    platform::Yuv420PicturePool pool(width, height, 1);
    platform::Yuv420PicturePool smaller(160, 120, 1);
    platform::RgbaToYuv420Converter converter(width, height);
    for (int index = 0; index < 6; ++index) {
        CapturedVideoFrame frame;
        frame.presentationTime = startTime + index * frameInterval;
        if (index == 3) {
            frame.encoderPicture = smaller.take();
        } else if (index % 2 == 1) {
            frame.encoderPicture = pool.take();
            ASSERT_TRUE(frame.encoderPicture);
            ASSERT_GE(av_frame_copy(frame.encoderPicture.get(), &converter.convert(moving(index))), 0);
        } else {
            frame = test::capturedFrame(width, height, moving(index), frame.presentationTime);
        }
        encoder->encode(frame);
    }
    encoder->shutdown();

    std::vector<std::uint64_t> times;
    for (const auto* frame : recorder.videoFrames()) times.push_back(frame->presentationTimeNanoseconds);
    const auto at = [](int index) { return static_cast<std::uint64_t>((index * frameInterval).count()); };
    EXPECT_EQ(times, (std::vector<std::uint64_t>{at(0), at(1), at(2), at(4), at(5)}));
    test::expectDecodesCleanly(recorder.frames, GetParam().format, std::string(GetParam().name) + ",320,240");
}

TEST_P(VideoEncoderTest, SequenceNumbersWrapToOneAndOtherSizesAreSkipped) {
    auto encoder = makeEncoder(1'000'000, UINT32_MAX);
    encodeFrames(*encoder, 0, 1, moving);
    EXPECT_NO_THROW(encoder->encode(
        test::capturedFrame(160, 120, test::movingBlockPicture(160, 120, 1), startTime + frameInterval)));
    encodeFrames(*encoder, 2, 2, moving);

    std::vector<std::uint32_t> numbers;
    for (const auto* frame : recorder.videoFrames()) numbers.push_back(frame->sequenceNumber);
    EXPECT_EQ(numbers, (std::vector<std::uint32_t>{UINT32_MAX, 1, 2}));
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoEncoderTest, ::testing::ValuesIn(codecCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zentrabo
