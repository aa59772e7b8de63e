#include "screenstream/codec/remote_screen_stream_wire.hpp"

#include <gtest/gtest.h>

#include <string>

namespace zentrabo {
namespace {

namespace Wire = RemoteScreenStreamWire;
using Bytes = std::vector<std::uint8_t>;
using WireCase = RemoteScreenStreamWireError::Case;

Bytes header(std::uint16_t kind, std::uint32_t length, const char* magicBytes = "HVS1") {
    Bytes bytes(magicBytes, magicBytes + 4);
    bytes.resize(Wire::headerLength);
    bytes[4] = static_cast<std::uint8_t>(kind >> 8);
    bytes[5] = static_cast<std::uint8_t>(kind);
    for (int index = 0; index < 4; ++index) bytes[8 + index] = static_cast<std::uint8_t>(length >> (24 - 8 * index));
    return bytes;
}

RemoteScreenStreamReceiveBuffer bufferOf(const Bytes& bytes) {
    RemoteScreenStreamReceiveBuffer buffer;
    buffer.append(bytes);
    return buffer;
}

// Runs nextFrame and returns the error case it throws; the buffer must keep every byte.
WireCase decodeFailure(const Bytes& bytes) {
    auto buffer = bufferOf(bytes);
    try {
        Wire::nextFrame(buffer);
    } catch (const RemoteScreenStreamWireError& error) {
        EXPECT_EQ(buffer.size(), bytes.size());
        return error.errorCase();
    }
    ADD_FAILURE() << "no error";
    return WireCase::invalidMagic;
}

RemoteScreenStreamFrame videoFrame(std::size_t payloadSize) {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::video;
    frame.flags = RemoteScreenStreamFrame::keyFrameFlag | 0x8000;  // unknown bits travel unchanged
    frame.sequenceNumber = 0xFFFFFFFF;
    frame.presentationTimeNanoseconds = 0x0102030405060708;
    frame.durationNanoseconds = 16'666'667;
    for (std::size_t index = 0; index < payloadSize; ++index) frame.payload.push_back(static_cast<std::uint8_t>(index));
    return frame;
}

TEST(RemoteScreenStreamWire, HeaderLayoutIsExact) {
    const Bytes expected = {'H',  'V',  'S',  '1',  0x00, 0x02, 0x80, 0x01, 0x00, 0x00,
                            0x00, 0x03, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // presentation time
                            0x00, 0x00, 0x00, 0x00, 0x00, 0xFE, 0x50, 0x2B,              // duration
                            0xFF, 0xFF, 0xFF, 0xFF,                                      // sequence number
                            0x00, 0x01, 0x02};
    EXPECT_EQ(Wire::encode(videoFrame(3)), expected);
    EXPECT_EQ(videoFrame(3).encoded(), expected);
}

TEST(RemoteScreenStreamWire, EveryKindRoundTrips) {
    for (std::uint16_t raw = 1; raw <= 12; ++raw) {
        RemoteScreenStreamFrame frame = videoFrame(raw * 100);
        ASSERT_TRUE(fromRawValue(raw, frame.kind));
        const Bytes encoded = Wire::encode(frame);
        EXPECT_EQ(encoded.size(), Wire::headerLength + frame.payload.size());
        auto buffer = bufferOf(encoded);
        EXPECT_EQ(Wire::nextFrame(buffer), frame);
        EXPECT_TRUE(buffer.empty());
    }
}

TEST(RemoteScreenStreamWire, IncompleteFramesConsumeNothing) {
    Bytes bytes = header(7, 0);
    const std::uint8_t last = bytes.back();
    bytes.pop_back();
    auto buffer = bufferOf(bytes);
    EXPECT_EQ(Wire::nextFrame(buffer), std::nullopt);
    EXPECT_EQ(buffer.size(), 31u);

    buffer.append(Bytes{last});
    const auto frame = Wire::nextFrame(buffer);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->kind, RemoteScreenStreamFrameKind::commandResult);
    EXPECT_TRUE(frame->payload.empty());
    EXPECT_TRUE(buffer.empty());
}

TEST(RemoteScreenStreamWire, LengthLimitIsCheckedBeforeThePayloadArrives) {
    auto atLimit = bufferOf(header(2, Wire::maximumPayloadLength));
    EXPECT_EQ(Wire::nextFrame(atLimit), std::nullopt);
    EXPECT_EQ(atLimit.size(), Wire::headerLength);

    EXPECT_EQ(decodeFailure(header(2, Wire::maximumPayloadLength + 1)), WireCase::payloadTooLarge);
    EXPECT_EQ(decodeFailure(header(2, 0xFFFFFFFF)), WireCase::payloadTooLarge);
}

TEST(RemoteScreenStreamWire, UnknownKindsAreRefused) {
    EXPECT_EQ(decodeFailure(header(0, 0)), WireCase::invalidFrameKind);
    EXPECT_EQ(decodeFailure(header(13, 0)), WireCase::invalidFrameKind);
    EXPECT_EQ(decodeFailure(header(0xFFFF, 0)), WireCase::invalidFrameKind);
    // The kind is checked before the length.
    EXPECT_EQ(decodeFailure(header(13, 0xFFFFFFFF)), WireCase::invalidFrameKind);

    auto buffer = bufferOf(header(12, 0));
    EXPECT_EQ(Wire::nextFrame(buffer)->kind, RemoteScreenStreamFrameKind::headPose);
}

TEST(RemoteScreenStreamWire, AnyWrongMagicByteIsRefusedFirst) {
    for (int position = 0; position < 4; ++position) {
        char magicBytes[] = "HVS1";
        magicBytes[position] ^= 0x20;
        EXPECT_EQ(decodeFailure(header(0, 0xFFFFFFFF, magicBytes)), WireCase::invalidMagic) << position;
    }
}

TEST(RemoteScreenStreamWire, AJsonReplyLineFailsOnceItsFirst32BytesArrive) {
    const std::string line = "{\"id\":\"4F1C\",\"ok\":false,\"message\":\"Extra authorization is required.\"}\n";
    auto shortLine = bufferOf(Bytes(line.begin(), line.begin() + 31));
    EXPECT_EQ(Wire::nextFrame(shortLine), std::nullopt);
    EXPECT_EQ(decodeFailure(Bytes(line.begin(), line.end())), WireCase::invalidMagic);
}

TEST(RemoteScreenStreamWire, FramesAreTakenOneAtATimeFromTheFront) {
    const Bytes first = Wire::encode(videoFrame(5));
    const Bytes second = encodedScreenStreamErrorFrame("second");
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    both.insert(both.end(), first.begin(), first.begin() + 10);

    auto buffer = bufferOf(both);
    EXPECT_EQ(Wire::nextFrame(buffer), videoFrame(5));
    EXPECT_EQ(Bytes(buffer.bytes().begin(), buffer.bytes().end()).size(), second.size() + 10);
    EXPECT_EQ(Wire::nextFrame(buffer)->payload, Bytes({'s', 'e', 'c', 'o', 'n', 'd'}));
    EXPECT_EQ(Wire::nextFrame(buffer), std::nullopt);
    EXPECT_EQ(Bytes(buffer.bytes().begin(), buffer.bytes().end()), Bytes(first.begin(), first.begin() + 10));

    buffer.append(Bytes(first.begin() + 10, first.end()));
    EXPECT_EQ(Wire::nextFrame(buffer), videoFrame(5));
    EXPECT_TRUE(buffer.empty());
}

TEST(RemoteScreenStreamWire, ByteByByteDeliveryYieldsTheSameFrames) {
    Bytes stream;
    for (std::size_t size : {0, 1, 40, 300}) {
        const Bytes frame = Wire::encode(videoFrame(size));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    RemoteScreenStreamReceiveBuffer buffer;
    std::vector<std::size_t> payloadSizes;
    for (std::uint8_t byte : stream) {
        buffer.append(Bytes{byte});
        while (auto frame = Wire::nextFrame(buffer)) payloadSizes.push_back(frame->payload.size());
    }
    EXPECT_EQ(payloadSizes, (std::vector<std::size_t>{0, 1, 40, 300}));
    EXPECT_TRUE(buffer.empty());
}

TEST(RemoteScreenStreamWire, ErrorFrameCarriesOnlyTheText) {
    const std::string text = "Screen recording permission is missing – “Zentrabo”.";
    auto buffer = bufferOf(encodedScreenStreamErrorFrame(text));
    const auto frame = Wire::nextFrame(buffer);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->kind, RemoteScreenStreamFrameKind::error);
    EXPECT_EQ(frame->flags, 0);
    EXPECT_EQ(frame->sequenceNumber, 0u);
    EXPECT_EQ(frame->presentationTimeNanoseconds, 0u);
    EXPECT_EQ(frame->durationNanoseconds, 0u);
    EXPECT_EQ(std::string(frame->payload.begin(), frame->payload.end()), text);
}

TEST(RemoteScreenStreamWire, ErrorTexts) {
    EXPECT_STREQ(RemoteScreenStreamWireError(WireCase::invalidMagic).what(),
                 "The Mac returned an invalid stream response.");
    EXPECT_EQ(RemoteScreenStreamWireError(WireCase::invalidFrameKind).errorDescription(),
              "The Mac returned an unknown stream frame.");
    EXPECT_EQ(RemoteScreenStreamWireError(WireCase::payloadTooLarge).errorDescription(),
              "The Mac returned a stream frame that is too large.");
}

}  // namespace
}  // namespace zentrabo
