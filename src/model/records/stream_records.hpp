#pragma once
// The options of a screen stream carried inside a request, the device-side
// launch that wraps them, their enumerations and quality presets.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "model/json/model_record_json.hpp"
#include "model/records/menu_records.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/text/string_enum.hpp"
#include "platform/random/uuid.hpp"

namespace zentrabo {

enum class RemoteScreenStreamMode { display, frontmostWindow, applicationWindow };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamMode>
    : platform::RawValues<"display", "frontmostWindow", "applicationWindow"> {};

enum class RemoteScreenStreamStartInteractionMode { view, control };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamStartInteractionMode> : platform::RawValues<"view", "control"> {};

enum class RemoteScreenStreamApplicationWindowSelectionMode { picker, title };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamApplicationWindowSelectionMode>
    : platform::RawValues<"picker", "title"> {};

enum class RemoteScreenStreamWindowTrackingMode { locked, followActiveWindow };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamWindowTrackingMode>
    : platform::RawValues<"locked", "followActiveWindow"> {};

enum class RemoteScreenStreamPresentationMode { inline_, fullScreen, pictureInPicture };
// `inline` is a keyword, hence the trailing underscore; the raw value has none.
template <>
struct platform::StringEnumTraits<RemoteScreenStreamPresentationMode>
    : platform::RawValues<"inline", "fullScreen", "pictureInPicture"> {};
// "inline" is shown full screen; the others as they are.
RemoteScreenStreamPresentationMode resolved(RemoteScreenStreamPresentationMode mode);

enum class RemoteScreenStreamVideoCodec { h264, hevc };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamVideoCodec> : platform::RawValues<"h264", "hevc"> {};

enum class RemoteScreenStreamAudioCodec { pcm16LE };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamAudioCodec> : platform::RawValues<"pcm16LE"> {};

enum class RemoteScreenStreamRenderSizingMode { source, clientNative };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamRenderSizingMode> : platform::RawValues<"source", "clientNative"> {
};

// The settings each quality preset stands for.
std::int64_t maximumPixelDimension(RemoteScreenStreamQualityProfile profile);
std::int64_t framesPerSecond(RemoteScreenStreamQualityProfile profile);
std::int64_t bitrate(RemoteScreenStreamQualityProfile profile);
bool prefersHEVC(RemoteScreenStreamQualityProfile profile);

// The options of one screen stream. No member has a default while reading;
// the stream's consumers decide what an absent one means.
struct RemoteScreenStreamRequest {
    RemoteScreenStreamMode mode = RemoteScreenStreamMode::display;
    std::optional<std::uint32_t> displayID;
    std::optional<std::string> displayName;
    std::optional<std::int64_t> maximumPixelDimension;
    std::optional<std::int64_t> framesPerSecond;
    std::optional<std::int64_t> bitrate;
    std::optional<RemoteScreenStreamVideoCodec> preferredVideoCodec;
    std::optional<bool> capturesAudio;
    std::optional<RemoteScreenStreamAudioCodec> preferredAudioCodec;
    std::optional<std::int64_t> audioChannelCount;
    std::optional<RemoteScreenStreamRenderSizingMode> renderSizingMode;
    std::optional<std::int64_t> clientRenderPixelWidth;
    std::optional<std::int64_t> clientRenderPixelHeight;
    std::optional<double> clientRenderScale;
    std::optional<bool> showsCursor;
    std::optional<RemoteScreenStreamWindowTrackingMode> windowTrackingMode;
    std::optional<std::string> applicationBundleIdentifier;
    std::optional<std::string> applicationName;
    std::optional<std::uint32_t> applicationWindowID;
    std::optional<std::string> applicationWindowTitle;
    std::optional<MenuTitleMatchMode> applicationWindowTitleMatchMode;

    // The lowest server protocol version that can serve this request.
    int requiredServerProtocolVersion() const;

    // A copy with the preset's size, frame rate, bit rate and video codec.
    RemoteScreenStreamRequest applyingQualityProfile(RemoteScreenStreamQualityProfile profile) const;

    static constexpr auto jsonFields() {
        using R = RemoteScreenStreamRequest;
        return std::tuple{
            field("mode", &R::mode),
            field("displayID", &R::displayID),
            field("displayName", &R::displayName),
            field("maximumPixelDimension", &R::maximumPixelDimension),
            field("framesPerSecond", &R::framesPerSecond),
            field("bitrate", &R::bitrate),
            field("preferredVideoCodec", &R::preferredVideoCodec),
            field("capturesAudio", &R::capturesAudio),
            field("preferredAudioCodec", &R::preferredAudioCodec),
            field("audioChannelCount", &R::audioChannelCount),
            field("renderSizingMode", &R::renderSizingMode),
            field("clientRenderPixelWidth", &R::clientRenderPixelWidth),
            field("clientRenderPixelHeight", &R::clientRenderPixelHeight),
            field("clientRenderScale", &R::clientRenderScale),
            field("showsCursor", &R::showsCursor),
            field("windowTrackingMode", &R::windowTrackingMode),
            field("applicationBundleIdentifier", &R::applicationBundleIdentifier),
            field("applicationName", &R::applicationName),
            field("applicationWindowID", &R::applicationWindowID),
            field("applicationWindowTitle", &R::applicationWindowTitle),
            field("applicationWindowTitleMatchMode", &R::applicationWindowTitleMatchMode),
        };
    }
};

// One stream that a device opens, with how it presents it.
struct RemoteScreenStreamLaunch {
    platform::Uuid id;
    RemoteScreenStreamRequest request;
    RemoteScreenStreamPresentationMode presentationMode = RemoteScreenStreamPresentationMode::fullScreen;
    std::optional<RemoteScreenStreamStartInteractionMode> startInteractionMode;
    std::optional<bool> automaticallyFitsWindow;

    int requiredServerProtocolVersion() const;

    static constexpr auto jsonFields() {
        using R = RemoteScreenStreamLaunch;
        return std::tuple{field("id", &R::id), field("request", &R::request),
                          field("presentationMode", &R::presentationMode),
                          field("startInteractionMode", &R::startInteractionMode),
                          field("automaticallyFitsWindow", &R::automaticallyFitsWindow)};
    }
};

}  // namespace zentrabo
