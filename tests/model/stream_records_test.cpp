#include "model/records/stream_records.hpp"

#include <gtest/gtest.h>

#include "model/records/halvardine_request.hpp"
#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::decodeGolden;
using testing::decodes;
using Mode = RemoteScreenStreamMode;

RemoteScreenStreamRequest silent(Mode mode) {
    RemoteScreenStreamRequest request;
    request.mode = mode;
    request.capturesAudio = false;
    return request;
}

TEST(StreamRecords, RequestGoldenLines) {
    const auto minimal = decodeRecord<RemoteScreenStreamRequest>(R"({"mode":"display"})");
    EXPECT_EQ(minimal, RemoteScreenStreamRequest{});
    EXPECT_EQ(encodeRecord(minimal), R"({"mode":"display"})");
    EXPECT_EQ(minimal.requiredServerProtocolVersion(), 17);

    const auto full = decodeGolden<RemoteScreenStreamRequest>(
        R"({"mode":"applicationWindow","displayID":3,"displayName":"Studio","maximumPixelDimension":1920,)"
        R"("framesPerSecond":30,"bitrate":8000000,"preferredVideoCodec":"h264","capturesAudio":true,)"
        R"("preferredAudioCodec":"pcm16LE","audioChannelCount":2,"renderSizingMode":"source",)"
        R"("clientRenderPixelWidth":2388,"clientRenderPixelHeight":1668,"clientRenderScale":2,"showsCursor":false,)"
        R"("windowTrackingMode":"followActiveWindow","applicationBundleIdentifier":"com.example.notes",)"
        R"("applicationName":"Notes","applicationWindowID":88,"applicationWindowTitle":"Inbox",)"
        R"("applicationWindowTitleMatchMode":"beginsWith"})");
    EXPECT_EQ(full.mode, Mode::applicationWindow);
    EXPECT_EQ(full.clientRenderScale, 2.0);
    EXPECT_EQ(full.windowTrackingMode, RemoteScreenStreamWindowTrackingMode::followActiveWindow);
    EXPECT_EQ(full.applicationWindowTitleMatchMode, MenuTitleMatchMode::beginsWith);

    const auto launch = decodeGolden<RemoteScreenStreamLaunch>(
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","request":{"mode":"frontmostWindow"},)"
        R"("presentationMode":"inline","startInteractionMode":"control","automaticallyFitsWindow":false})");
    EXPECT_EQ(launch.presentationMode, RemoteScreenStreamPresentationMode::inline_);
    EXPECT_EQ(resolved(launch.presentationMode), RemoteScreenStreamPresentationMode::fullScreen);
    EXPECT_EQ(resolved(RemoteScreenStreamPresentationMode::pictureInPicture),
              RemoteScreenStreamPresentationMode::pictureInPicture);
    // The identifier reads in either case and is written in upper case.
    EXPECT_EQ(
        decodeRecord<RemoteScreenStreamLaunch>(
            R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","request":{"mode":"display"},"presentationMode":"fullScreen"})")
            .id.uuidString,
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(
        decodes<RemoteScreenStreamLaunch>(R"({"id":"x","request":{"mode":"display"},"presentationMode":"inline"})"));
    EXPECT_FALSE(decodes<RemoteScreenStreamLaunch>(
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","request":{"mode":"display"}})"));
}

TEST(StreamRecords, MalformedStreamOptionsFailTheWholeRequest) {
    EXPECT_TRUE(decodes<HalvardineRequest>(R"({"id":"1","action":"screenStream","screenStream":{"mode":"display"}})"));
    for (const auto options : {R"({"mode":"window"})", R"({})", R"({"mode":"display","capturesAudio":"yes"})",
                               R"({"mode":"display","preferredVideoCodec":"av1"})",
                               R"({"mode":"display","displayID":-3})", R"("display")"}) {
        EXPECT_FALSE(decodes<HalvardineRequest>(std::string(R"({"id":"1","action":"screenStream","screenStream":)") +
                                                options + "}"))
            << options;
    }
}

TEST(StreamRecords, RequiredServerVersionOfARequest) {
    EXPECT_EQ(silent(Mode::display).requiredServerProtocolVersion(), 4);
    EXPECT_EQ(silent(Mode::frontmostWindow).requiredServerProtocolVersion(), 4);
    EXPECT_EQ(silent(Mode::applicationWindow).requiredServerProtocolVersion(), 5);

    const auto with = [](auto change) {
        RemoteScreenStreamRequest request = silent(Mode::display);
        change(request);
        return request.requiredServerProtocolVersion();
    };
    EXPECT_EQ(with([](auto& r) { r.maximumPixelDimension = 0; }), 8);
    EXPECT_EQ(with([](auto& r) { r.maximumPixelDimension = 2561; }), 12);
    EXPECT_EQ(with([](auto& r) { r.bitrate = 12'000'001; }), 12);
    EXPECT_EQ(with([](auto& r) {
                  r.maximumPixelDimension = 0;
                  r.bitrate = 20'000'000;
              }),
              12);
    EXPECT_EQ(with([](auto& r) {
                  r.maximumPixelDimension = 2560;
                  r.bitrate = 12'000'000;
              }),
              4);
    EXPECT_EQ(with([](auto& r) { r.capturesAudio = true; }), 17);
    EXPECT_EQ(with([](auto& r) {
                  r.capturesAudio.reset();
                  r.maximumPixelDimension = 4000;
              }),
              17);
    EXPECT_EQ(with([](auto& r) { r.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative; }), 19);
    EXPECT_EQ(with([](auto& r) { r.renderSizingMode = RemoteScreenStreamRenderSizingMode::source; }), 4);
    // A title counts only for an application window.
    EXPECT_EQ(with([](auto& r) { r.applicationWindowTitle = "Inbox"; }), 4);

    const auto window = [](auto change) {
        RemoteScreenStreamRequest request = silent(Mode::applicationWindow);
        change(request);
        return request.requiredServerProtocolVersion();
    };
    EXPECT_EQ(window([](auto& r) { r.applicationWindowTitle = "  "; }), 5);
    EXPECT_EQ(window([](auto& r) { r.applicationWindowTitle = "\n\u3000"; }), 5);
    EXPECT_EQ(window([](auto& r) { r.applicationWindowTitle = "Inbox"; }), 11);
    EXPECT_EQ(window([](auto& r) {
                  r.applicationWindowTitle = "Inbox";
                  r.bitrate = 20'000'000;
              }),
              12);
    EXPECT_EQ(window([](auto& r) {
                  r.applicationWindowTitle = "Inbox";
                  r.maximumPixelDimension = -1;
              }),
              11);
    EXPECT_EQ(window([](auto& r) {
                  r.applicationWindowTitle = "Inbox";
                  r.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative;
              }),
              19);
}

TEST(StreamRecords, RequiredServerVersionOfALaunch) {
    RemoteScreenStreamLaunch launch;
    launch.request = silent(Mode::display);
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 4);
    launch.startInteractionMode = RemoteScreenStreamStartInteractionMode::view;
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 11);
    launch.startInteractionMode.reset();
    launch.automaticallyFitsWindow = true;
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 4);
    launch.request.mode = Mode::frontmostWindow;
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 10);
    launch.automaticallyFitsWindow = false;
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 4);
    launch.request.capturesAudio.reset();
    launch.automaticallyFitsWindow = true;
    EXPECT_EQ(launch.requiredServerProtocolVersion(), 17);
}

TEST(StreamRecords, QualityPresets) {
    using Profile = RemoteScreenStreamQualityProfile;
    RemoteScreenStreamRequest request = silent(Mode::display);
    request.applicationName = "kept";
    const auto veryLow = request.applyingQualityProfile(Profile::veryLow);
    EXPECT_EQ(veryLow.maximumPixelDimension, 540);
    EXPECT_EQ(veryLow.framesPerSecond, 8);
    EXPECT_EQ(veryLow.bitrate, 500'000);
    EXPECT_EQ(veryLow.preferredVideoCodec, RemoteScreenStreamVideoCodec::h264);
    EXPECT_EQ(veryLow.applicationName, "kept");

    const auto retina = RemoteScreenStreamRequest{}.applyingQualityProfile(Profile::retinaText);
    EXPECT_EQ(retina.maximumPixelDimension, 0);
    EXPECT_EQ(retina.framesPerSecond, 24);
    EXPECT_EQ(retina.bitrate, 35'000'000);
    EXPECT_EQ(retina.preferredVideoCodec, RemoteScreenStreamVideoCodec::hevc);
    EXPECT_GE(retina.requiredServerProtocolVersion(), 12);

    EXPECT_TRUE(prefersHEVC(Profile::high));
    EXPECT_FALSE(prefersHEVC(Profile::medium));
}

}  // namespace
}  // namespace zentrabo
