#pragma once
// The input a device sends on a running stream: pointer, keyboard, window
// resize and head pose. Pasted text travels as bare UTF-8 and has no record.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/stream_records.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo {

// What a pointer event does; the raw value is its 16-bit number on the wire.
enum class RemoteScreenPointerEventKind : std::uint16_t {
    move = 1,
    leftClick = 2,
    rightClick = 3,
    scroll = 4,
    dragStart = 5,
    dragMove = 6,
    dragEnd = 7,
    leftClickAt = 8,
    moveTo = 9,
    leftDoubleClickAt = 10,
    rightClickAt = 11,
    pinchStart = 12,
    pinchChange = 13,
    pinchEnd = 14,
};

constexpr std::uint16_t rawValue(RemoteScreenPointerEventKind kind) { return static_cast<std::uint16_t>(kind); }

// False for 0 and 15 ... 65535, which name no kind.
constexpr bool fromRawValue(std::uint16_t raw, RemoteScreenPointerEventKind& kind) {
    if (raw < rawValue(RemoteScreenPointerEventKind::move) || raw > rawValue(RemoteScreenPointerEventKind::pinchEnd)) {
        return false;
    }
    kind = static_cast<RemoteScreenPointerEventKind>(raw);
    return true;
}

// One pointer event; what the two numbers mean depends on the kind. It
// travels in a fixed binary layout (RemoteScreenPointerEventWire), never as
// JSON: the table gives it equality and hashing only.
struct RemoteScreenPointerEvent {
    RemoteScreenPointerEventKind kind = RemoteScreenPointerEventKind::move;
    double deltaX = 0;
    double deltaY = 0;

    static constexpr auto jsonFields() {
        using R = RemoteScreenPointerEvent;
        return std::tuple{field("kind", &R::kind), field("deltaX", &R::deltaX), field("deltaY", &R::deltaY)};
    }
};

// One key press with the modifier keys held.
struct RemoteScreenKeyboardEvent {
    std::string key;
    std::vector<std::string> modifiers;  // may be empty, but the key must be there
    std::optional<std::string> characters;
    std::optional<bool> prefersTextInsertion;  // insert `characters` as text rather than press the key

    static constexpr auto jsonFields() {
        using R = RemoteScreenKeyboardEvent;
        return std::tuple{field("key", &R::key), field("modifiers", &R::modifiers), field("characters", &R::characters),
                          field("prefersTextInsertion", &R::prefersTextInsertion)};
    }
};

// The size the device wants the streamed window to take.
struct RemoteScreenResizeWindowRequest {
    double width = 0;
    double height = 0;
    std::optional<double> pixelWidth;   // in device pixels
    std::optional<double> pixelHeight;  // in device pixels
    std::optional<double> pixelScale;   // device pixels per point
    std::optional<RemoteScreenStreamRenderSizingMode> renderSizingMode;
    bool operator==(const RemoteScreenResizeWindowRequest&) const = default;

    static constexpr auto jsonFields() {
        using R = RemoteScreenResizeWindowRequest;
        return std::tuple{field("width", &R::width),           field("height", &R::height),
                          field("pixelWidth", &R::pixelWidth), field("pixelHeight", &R::pixelHeight),
                          field("pixelScale", &R::pixelScale), field("renderSizingMode", &R::renderSizingMode)};
    }
};

// How a head pose moves the pointer. There is one way, and the key must
// still be present.
enum class RemoteScreenHeadTrackingMapping { mouseLook };
template <>
struct platform::StringEnumTraits<RemoteScreenHeadTrackingMapping> : platform::RawValues<"mouseLook"> {};

// A change of the device wearer's head orientation since the previous event.
struct RemoteScreenHeadPoseEvent {
    std::optional<std::uint64_t> timestampNanoseconds;  // the device's clock
    double yawDelta = 0;
    double pitchDelta = 0;
    double rollDelta = 0;
    std::optional<std::string> targetBundleIdentifier;  // the application the event is meant for
    RemoteScreenHeadTrackingMapping mapping = RemoteScreenHeadTrackingMapping::mouseLook;
    double sensitivityX = 0;  // gain on yawDelta
    double sensitivityY = 0;  // gain on pitchDelta
    std::optional<bool> isRecentered;

    static constexpr auto jsonFields() {
        using R = RemoteScreenHeadPoseEvent;
        return std::tuple{field("timestampNanoseconds", &R::timestampNanoseconds),
                          field("yawDelta", &R::yawDelta),
                          field("pitchDelta", &R::pitchDelta),
                          field("rollDelta", &R::rollDelta),
                          field("targetBundleIdentifier", &R::targetBundleIdentifier),
                          field("mapping", &R::mapping),
                          field("sensitivityX", &R::sensitivityX),
                          field("sensitivityY", &R::sensitivityY),
                          field("isRecentered", &R::isRecentered)};
    }
};

}  // namespace zentrabo
