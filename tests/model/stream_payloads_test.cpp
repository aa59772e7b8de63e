// The payloads of a running stream: the input codecs at their limits and
// the JSON records both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/records/stream_control_payloads.hpp"
#include "model/records/stream_input_wire.hpp"

namespace zentrabo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// The case of the error that decoding throws, or nothing when it decodes.
template <class Error, class Decode>
std::optional<typename Error::Case> failureOf(Decode decode) {
    try {
        decode();
    } catch (const Error& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

// A pointer payload of the given length whose reserved bytes and tail are
// not zero; the numbers are 1.5 and -2.
Bytes pointerPayload(std::uint16_t kind, std::size_t length) {
    std::array<std::uint8_t, 20> full = {0, 0, 0xAB, 0xCD, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    full[0] = static_cast<std::uint8_t>(kind >> 8);
    full[1] = static_cast<std::uint8_t>(kind);
    Bytes bytes(length, 0xEE);
    std::copy_n(full.begin(), std::min(length, full.size()), bytes.begin());
    return bytes;
}

TEST(StreamPayloads, PointerPayloadsAtTheirLimits) {
    using Case = RemoteScreenPointerEventWireError::Case;
    struct Row {
        const char* name;
        Bytes payload;
        std::optional<Case> failure;
    };
    const Row rows[] = {
        {"empty", {}, Case::invalidPayload},
        {"19 bytes", pointerPayload(4, 19), Case::invalidPayload},
        {"kind 0", pointerPayload(0, 20), Case::invalidKind},
        {"kind 15", pointerPayload(15, 20), Case::invalidKind},
        {"kind 0x0104", pointerPayload(0x0104, 20), Case::invalidKind},
        {"first kind", pointerPayload(1, 20), std::nullopt},
        {"24 bytes, last kind", pointerPayload(14, 24), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(
            failureOf<RemoteScreenPointerEventWireError>([&] { RemoteScreenPointerEventWire::decode(row.payload); }),
            row.failure);
    }
    const auto event = RemoteScreenPointerEventWire::decode(pointerPayload(14, 24));
    EXPECT_EQ(event, (RemoteScreenPointerEvent{RemoteScreenPointerEventKind::pinchEnd, 1.5, -2.0}));
    EXPECT_STREQ(RemoteScreenPointerEventWireError(Case::invalidKind).what(),
                 "The stream pointer event kind is unknown.");
}

TEST(StreamPayloads, PointerLayoutIsBigEndian) {
    const RemoteScreenPointerEvent moveTo{RemoteScreenPointerEventKind::moveTo, 0.5, 0.25};
    const Bytes expected = {0x00, 0x09, 0x00, 0x00, 0x3F, 0xE0, 0, 0, 0, 0, 0, 0, 0x3F, 0xD0, 0, 0, 0, 0, 0, 0};
    const Bytes encoded = RemoteScreenPointerEventWire::encode(moveTo);
    EXPECT_EQ(encoded, expected);
    EXPECT_EQ(RemoteScreenPointerEventWire::decode(encoded), moveTo);
}

TEST(StreamPayloads, PasteTextAtItsLimits) {
    using Case = RemoteScreenPasteTextWireError::Case;
    const std::size_t limit = RemoteScreenPasteTextWire::maximumPayloadLength;
    std::string twoByteLetters;
    for (std::size_t index = 0; index < limit / 2; ++index) twoByteLetters += "\xC3\xA9";
    struct Row {
        const char* name;
        std::string payload;
        std::optional<Case> failure;
    };
    const Row rows[] = {
        {"empty", "", Case::emptyText},
        {"limit, two-byte letters", twoByteLetters, std::nullopt},
        {"one over the limit", twoByteLetters + "a", Case::payloadTooLarge},
        {"over the limit and invalid", twoByteLetters + "\xFF", Case::payloadTooLarge},
        {"lone 0xFF", "\xFF", Case::invalidUTF8},
        {"cut letter", "caf\xC3", Case::invalidUTF8},
        {"overlong slash", "\xC0\xAF", Case::invalidUTF8},
        {"encoded surrogate", "\xED\xA0\x80", Case::invalidUTF8},
        {"white space only", " \n\t", std::nullopt},
        {"a NUL byte", std::string("a\0b", 3), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes payload = bytesOf(row.payload);
        EXPECT_EQ(failureOf<RemoteScreenPasteTextWireError>(
                      [&] { EXPECT_EQ(RemoteScreenPasteTextWire::decode(payload), row.payload); }),
                  row.failure);
    }
    EXPECT_EQ(RemoteScreenPasteTextWire::encode("caf\xC3\xA9"), bytesOf("caf\xC3\xA9"));
    EXPECT_STREQ(RemoteScreenPasteTextWireError(Case::payloadTooLarge).what(), "The stream text input is too large.");
}

// A keyboard event of exactly the given length, padded inside its key.
std::string keyboardEventOfLength(std::size_t length) {
    const std::string frame = R"({"key":"","modifiers":["command"]})";
    std::string json = frame;
    json.insert(8, length - frame.size(), 'k');
    return json;
}

TEST(StreamPayloads, JsonInputLimitsComeBeforeParsing) {
    using KeyCase = RemoteScreenKeyboardEventWireError::Case;
    const std::size_t limit = RemoteScreenKeyboardEventWire::maximumPayloadLength;
    struct Row {
        const char* name;
        std::string payload;
        std::optional<KeyCase> failure;
    };
    const Row rows[] = {
        {"empty", "", KeyCase::emptyEvent},
        {"at the limit", keyboardEventOfLength(limit), std::nullopt},
        {"one over the limit", keyboardEventOfLength(limit + 1), KeyCase::payloadTooLarge},
        {"over the limit, not JSON", std::string(limit + 1, '{'), KeyCase::payloadTooLarge},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes payload = bytesOf(row.payload);
        EXPECT_EQ(
            failureOf<RemoteScreenKeyboardEventWireError>([&] { RemoteScreenKeyboardEventWire::decode(payload); }),
            row.failure);
    }
    EXPECT_EQ(RemoteScreenKeyboardEventWire::decode(bytesOf(keyboardEventOfLength(limit))).key.size(),
              limit - std::string_view(R"({"key":"","modifiers":["command"]})").size());

    using ResizeCase = RemoteScreenResizeWindowRequestWireError::Case;
    EXPECT_EQ(
        failureOf<RemoteScreenResizeWindowRequestWireError>([] { RemoteScreenResizeWindowRequestWire::decode({}); }),
        ResizeCase::emptyRequest);
    const Bytes longResize = bytesOf(R"({"width":1,"height":2)" + std::string(limit, ' ') + "}");
    EXPECT_EQ(failureOf<RemoteScreenResizeWindowRequestWireError>(
                  [&] { RemoteScreenResizeWindowRequestWire::decode(longResize); }),
              ResizeCase::payloadTooLarge);

    using PoseCase = RemoteScreenHeadPoseEventWireError::Case;
    EXPECT_EQ(failureOf<RemoteScreenHeadPoseEventWireError>([] { RemoteScreenHeadPoseEventWire::decode({}); }),
              PoseCase::emptyEvent);
    EXPECT_EQ(failureOf<RemoteScreenHeadPoseEventWireError>(
                  [&] { RemoteScreenHeadPoseEventWire::decode(Bytes(limit + 1, ' ')); }),
              PoseCase::payloadTooLarge);
    EXPECT_STREQ(RemoteScreenHeadPoseEventWireError(PoseCase::emptyEvent).what(),
                 "No head tracking event was provided.");
}

// The reader's own error: it names the key and never quotes the input.
std::string recordErrorOf(const std::function<void()>& decode) {
    try {
        decode();
    } catch (const RecordDecodeError& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
        return error.path().empty() ? "-" : error.path();
    }
    return "";
}

TEST(StreamPayloads, MalformedJsonInputFailsWithTheReadersError) {
    struct Row {
        const char* name;
        std::function<void(const Bytes&)> decode;
        std::string payload;
        std::string failedPath;  // "" decodes, "-" fails for the whole document
    };
    const auto keyboard = [](const Bytes& payload) { RemoteScreenKeyboardEventWire::decode(payload); };
    const auto resize = [](const Bytes& payload) { RemoteScreenResizeWindowRequestWire::decode(payload); };
    const auto pose = [](const Bytes& payload) { RemoteScreenHeadPoseEventWire::decode(payload); };
    const std::string poseKeys = R"("yawDelta":0.1,"pitchDelta":-0.2,"rollDelta":0,"sensitivityX":1,"sensitivityY":1)";
    const Row rows[] = {
        {"no modifiers", keyboard, R"({"key":"secret"})", "modifiers"},
        {"no modifiers, but null", keyboard, R"({"key":"secret","modifiers":null})", "modifiers"},
        {"empty modifiers", keyboard, R"({"key":"a","modifiers":[]})", ""},
        {"a modifier that is no text", keyboard, R"({"key":"secret","modifiers":["shift",7]})", "modifiers[1]"},
        {"not JSON", keyboard, R"({"key":"secret",)", "-"},
        {"an array", keyboard, R"(["secret"])", "-"},
        {"repeated key", keyboard, R"({"key":"a","key":"secret","modifiers":[]})", "-"},
        {"repeated key in an ignored member", keyboard, R"({"key":"a","modifiers":[],"x":{"y":1,"y":2}})", "-"},
        {"unknown sizing mode", resize, R"({"width":1,"height":2,"renderSizingMode":"secret"})", "renderSizingMode"},
        {"height as text", resize, R"({"width":1,"height":"secret"})", "height"},
        {"no mapping", pose, "{" + poseKeys + "}", "mapping"},
        {"unknown mapping", pose, "{" + poseKeys + R"(,"mapping":"secret"})", "mapping"},
        {"negative time stamp", pose, "{" + poseKeys + R"(,"mapping":"mouseLook","timestampNanoseconds":-1})",
         "timestampNanoseconds"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(recordErrorOf([&] { row.decode(bytesOf(row.payload)); }), row.failedPath);
    }

    const auto minimalPose =
        RemoteScreenHeadPoseEventWire::decode(bytesOf("{" + poseKeys + R"(,"mapping":"mouseLook"})"));
    EXPECT_EQ(minimalPose.timestampNanoseconds, std::nullopt);
    EXPECT_EQ(minimalPose.targetBundleIdentifier, std::nullopt);
    EXPECT_EQ(minimalPose.isRecentered, std::nullopt);
    EXPECT_EQ(minimalPose.pitchDelta, -0.2);
}

template <class R>
void expectJsonRoundTrip(const R& record) {
    const R decoded = decodeRecord<R>(encodeRecord(record));
    EXPECT_EQ(decoded, record) << encodeRecord(record);
    EXPECT_EQ(std::hash<R>{}(decoded), std::hash<R>{}(record));
}

TEST(StreamPayloads, EveryRecordRoundTripsWithAndWithoutItsOptionals) {
    const Data sps = {0x67, 0x42, 0x00, 0x1F};
    const Data pps = {0x68, 0xCE, 0x3C, 0x80};
    const RemoteScreenStreamConfigurationPayload h264{"h264", 1920, 1080, 30, std::nullopt, sps, pps, 4};
    const RemoteScreenStreamConfigurationPayload hevc{"hevc", 3840, 2160, 60, Data{0x40, 0x01}, sps, pps, 4};
    EXPECT_EQ(encodeRecord(h264).find("vps"), std::string::npos);
    EXPECT_NE(encodeRecord(hevc).find(R"("vps":"QAE=","sps":"Z0IAHw==","pps":"aM48gA==")"), std::string::npos);
    expectJsonRoundTrip(h264);
    expectJsonRoundTrip(hevc);
    EXPECT_NE(h264, hevc);

    expectJsonRoundTrip(
        RemoteScreenStreamAudioConfigurationPayload{RemoteScreenStreamAudioCodec::pcm16LE, 48000, 2, 16, true});

    const RemoteScreenStreamCommandResultPayload pasted{RemoteScreenStreamCommandKind::pasteText, true, std::nullopt};
    EXPECT_EQ(encodeRecord(pasted), R"({"command":"pasteText","succeeded":true})");
    expectJsonRoundTrip(pasted);
    expectJsonRoundTrip(RemoteScreenStreamCommandResultPayload{RemoteScreenStreamCommandKind::resizeWindow, false,
                                                               "The window could not be resized."});

    // -0 keeps its sign bit on the wire, yet equals and hashes as 0.
    const RemoteScreenPointerEvent scroll{RemoteScreenPointerEventKind::scroll, -0.0, 1e-300};
    const Bytes scrollBytes = RemoteScreenPointerEventWire::encode(scroll);
    EXPECT_EQ(scrollBytes[4], 0x80);
    EXPECT_EQ(RemoteScreenPointerEventWire::decode(scrollBytes), scroll);
    const RemoteScreenPointerEvent unsignedScroll{RemoteScreenPointerEventKind::scroll, 0.0, 1e-300};
    EXPECT_EQ(std::hash<RemoteScreenPointerEvent>{}(scroll), std::hash<RemoteScreenPointerEvent>{}(unsignedScroll));

    const auto keyboardRoundTrip = [](const RemoteScreenKeyboardEvent& event) {
        EXPECT_EQ(RemoteScreenKeyboardEventWire::decode(RemoteScreenKeyboardEventWire::encode(event)), event);
    };
    keyboardRoundTrip({"return", {}, std::nullopt, std::nullopt});
    keyboardRoundTrip({"a", {"command", "shift"}, "A", true});

    const auto resizeRoundTrip = [](const RemoteScreenResizeWindowRequest& request) {
        EXPECT_EQ(RemoteScreenResizeWindowRequestWire::decode(RemoteScreenResizeWindowRequestWire::encode(request)),
                  request);
    };
    resizeRoundTrip({1024, 768, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    resizeRoundTrip({1180, 820, 2360, 1640, 2, RemoteScreenStreamRenderSizingMode::clientNative});

    const auto poseRoundTrip = [](const RemoteScreenHeadPoseEvent& event) {
        EXPECT_EQ(RemoteScreenHeadPoseEventWire::decode(RemoteScreenHeadPoseEventWire::encode(event)), event);
    };
    poseRoundTrip(
        {std::nullopt, 0.01, -0.02, 0, std::nullopt, RemoteScreenHeadTrackingMapping::mouseLook, 1, 1, std::nullopt});
    poseRoundTrip({18446744073709551615u, 0.5, 0.25, -0.125, "com.example.game",
                   RemoteScreenHeadTrackingMapping::mouseLook, 2.5, 1.5, true});
}

}  // namespace
}  // namespace zentrabo
