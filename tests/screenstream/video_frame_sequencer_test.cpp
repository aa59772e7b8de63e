#include "screenstream/video_frame_sequencer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "video_stream_support.hpp"

namespace zentrabo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = RemoteScreenStreamFrameKind;
using std::chrono::nanoseconds;

Bytes annexB(std::initializer_list<Bytes> units) {
    Bytes stream;
    for (const Bytes& unit : units) {
        stream.insert(stream.end(), {0, 0, 0, 1});
        stream.insert(stream.end(), unit.begin(), unit.end());
    }
    return stream;
}

// H.264 units: SPS (7), PPS (8), SEI (6), IDR slice (5), other slice (1).
const Bytes sps = {0x67, 0x64, 0x00, 0x1F};
const Bytes changedSps = {0x67, 0x64, 0x00, 0x28};
const Bytes pps = {0x68, 0xEE, 0x3C, 0x80};
const Bytes sei = {0x06, 0x05, 0x01, 0xFF};
const Bytes idr = {0x65, 0x88, 0x80, 0x40};
const Bytes slice = {0x41, 0x9A, 0x02};

struct Sequenced {
    test::FrameRecorder recorder;
    VideoFrameSequencer sequencer;

    explicit Sequenced(RemoteScreenStreamVideoCodec codec, std::uint32_t firstSequenceNumber = 1)
        : sequencer({codec, 640, 480, 30}, recorder.handler(), firstSequenceNumber) {}

    void send(const Bytes& stream, std::optional<std::int64_t> time = std::nullopt) {
        sequencer.send(makeVideoAccessUnit(sequencer.format().codec, stream), time, std::nullopt);
    }
};

RemoteScreenStreamConfigurationPayload configurationOf(const RemoteScreenStreamFrame& frame) {
    return decodeRecord<RemoteScreenStreamConfigurationPayload>(
        std::string(frame.payload.begin(), frame.payload.end()));
}

TEST(VideoFrameSequencer, SendsAConfigurationOnlyWhenTheParameterSetsChange) {
    Sequenced stream(RemoteScreenStreamVideoCodec::h264);
    stream.send(annexB({sps, pps, sei, idr}));
    stream.send(annexB({slice}));
    stream.send(annexB({sps, pps, idr}));
    stream.send(annexB({changedSps, pps, idr}));

    const auto& frames = stream.recorder.frames;
    std::vector<Kind> kinds;
    for (const auto& frame : frames) kinds.push_back(frame.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::configuration, Kind::video, Kind::video, Kind::video, Kind::configuration,
                                        Kind::video}));

    const auto first = configurationOf(frames[0]);
    EXPECT_EQ(first.codec, "h264");
    EXPECT_EQ(first.sps, sps);
    EXPECT_EQ(first.pps, pps);
    EXPECT_FALSE(first.vps.has_value());
    EXPECT_EQ(first.nalUnitHeaderLength, 4);
    EXPECT_EQ(std::tie(first.width, first.height, first.framesPerSecond), std::tuple(640, 480, 30));
    EXPECT_EQ(configurationOf(frames[4]).sps, changedSps);

    // Parameter sets stay out of the payload; SEI and slices stay in.
    EXPECT_EQ(test::lengthPrefixedUnits(frames[1].payload), (std::vector<Bytes>{sei, idr}));
    EXPECT_EQ(frames[1].flags, RemoteScreenStreamFrame::keyFrameFlag);
    EXPECT_EQ(frames[2].flags, 0);
    for (const auto& frame : frames) {
        if (frame.kind == Kind::configuration) {
            EXPECT_EQ(std::tie(frame.flags, frame.sequenceNumber, frame.presentationTimeNanoseconds,
                               frame.durationNanoseconds),
                      std::tuple(0, 0, 0, 0));
        }
    }
}

// A key frame needs its parameter sets in band; an HEVC one needs all three.
TEST(VideoFrameSequencer, KeyFramesAreIdrPicturesWithTheirParameterSets) {
    const Bytes vps = {0x40, 0x01, 0x0C}, hevcSps = {0x42, 0x01, 0x01}, hevcPps = {0x44, 0x01, 0xC1};
    const Bytes idrWithLeading = {0x26, 0x01, 0xAF}, idrWithoutLeading = {0x28, 0x01, 0xAF};
    const Bytes craSlice = {0x2A, 0x01, 0xAF}, trailingSlice = {0x02, 0x01, 0xD0};
    struct Case {
        const char* name;
        RemoteScreenStreamVideoCodec codec;
        Bytes stream;
        bool keyFrame;
    };
    const Case cases[] = {
        {"h264 IDR", RemoteScreenStreamVideoCodec::h264, annexB({sps, pps, idr}), true},
        {"h264 IDR without PPS", RemoteScreenStreamVideoCodec::h264, annexB({sps, idr}), false},
        {"h264 parameter sets before a non-IDR slice", RemoteScreenStreamVideoCodec::h264, annexB({sps, pps, slice}),
         false},
        {"hevc IDR_W_RADL", RemoteScreenStreamVideoCodec::hevc, annexB({vps, hevcSps, hevcPps, idrWithLeading}), true},
        {"hevc IDR_N_LP", RemoteScreenStreamVideoCodec::hevc, annexB({vps, hevcSps, hevcPps, idrWithoutLeading}), true},
        {"hevc IDR without VPS", RemoteScreenStreamVideoCodec::hevc, annexB({hevcSps, hevcPps, idrWithLeading}), false},
        {"hevc CRA", RemoteScreenStreamVideoCodec::hevc, annexB({vps, hevcSps, hevcPps, craSlice}), false},
        {"hevc trailing slice", RemoteScreenStreamVideoCodec::hevc, annexB({trailingSlice}), false},
    };
    for (const Case& c : cases) {
        Sequenced stream(c.codec);
        stream.send(c.stream);
        const auto video = stream.recorder.videoFrames();
        ASSERT_EQ(video.size(), 1U) << c.name;
        EXPECT_EQ(video[0]->flags == RemoteScreenStreamFrame::keyFrameFlag, c.keyFrame) << c.name;
        EXPECT_EQ(stream.recorder.ofKind(Kind::configuration).size(), c.keyFrame ? 1U : 0U) << c.name;
    }
    Sequenced hevc(RemoteScreenStreamVideoCodec::hevc);
    hevc.send(annexB({vps, hevcSps, hevcPps, idrWithLeading}));
    EXPECT_EQ(configurationOf(hevc.recorder.frames[0]).vps, vps);
    EXPECT_EQ(configurationOf(hevc.recorder.frames[0]).codec, "hevc");
}

TEST(VideoFrameSequencer, NumbersAndTimesFrames) {
    Sequenced stream(RemoteScreenStreamVideoCodec::h264, UINT32_MAX - 1);
    stream.sequencer.notePictureSubmitted(nanoseconds(7'000'000'000));
    stream.sequencer.notePictureSubmitted(nanoseconds(7'040'000'000));  // only the first counts
    stream.send(annexB({sps, pps, idr}), 7'000'000'000);
    stream.send(annexB({slice}), 7'040'000'000);
    stream.send(annexB({slice}), 6'000'000'000);  // before the first: 0
    stream.send(annexB({slice}));                 // no time: 0
    stream.send(annexB({sps, pps}));              // no video data: nothing

    const auto video = stream.recorder.videoFrames();
    ASSERT_EQ(video.size(), 4U);
    std::vector<std::uint32_t> numbers;
    std::vector<std::uint64_t> times;
    for (const auto* frame : video) {
        numbers.push_back(frame->sequenceNumber);
        times.push_back(frame->presentationTimeNanoseconds);
        EXPECT_EQ(frame->durationNanoseconds, 33'333'333U);
    }
    EXPECT_EQ(numbers, (std::vector<std::uint32_t>{UINT32_MAX - 1, UINT32_MAX, 1, 2}));
    EXPECT_EQ(times, (std::vector<std::uint64_t>{0, 40'000'000, 0, 0}));
}

}  // namespace
}  // namespace zentrabo
