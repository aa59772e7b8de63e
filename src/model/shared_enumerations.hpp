#pragma once
// Small closed enumerations shared by the wire records and the stored
// settings. Each travels as its raw value, the case name.
#include "platform/text/string_enum.hpp"

namespace zentrabo {

// What an extra-authorization password can protect.
enum class HalvardineExtraAuthorizationScope { stream, files, workflows };
template <>
struct platform::StringEnumTraits<HalvardineExtraAuthorizationScope>
    : platform::RawValues<"stream", "files", "workflows"> {};
std::string_view title(HalvardineExtraAuthorizationScope scope);

// How a client reached the server.
enum class HalvardineExtraAuthorizationChannel { local, relay };
template <>
struct platform::StringEnumTraits<HalvardineExtraAuthorizationChannel> : platform::RawValues<"local", "relay"> {};
std::string_view title(HalvardineExtraAuthorizationChannel channel);

// How long a granted extra-authorization session lasts. `short` and `long`
// are keywords, hence the trailing underscores; the raw values have none.
enum class HalvardineExtraAuthorizationSessionDuration { background, short_, standard, long_ };
template <>
struct platform::StringEnumTraits<HalvardineExtraAuthorizationSessionDuration>
    : platform::RawValues<"background", "short", "standard", "long"> {};
std::string_view title(HalvardineExtraAuthorizationSessionDuration duration);
std::string_view summary(HalvardineExtraAuthorizationSessionDuration duration);
// Seconds; a background session is granted as long a time as a long one.
double timeInterval(HalvardineExtraAuthorizationSessionDuration duration);
constexpr bool isBackground(HalvardineExtraAuthorizationSessionDuration duration) {
    return duration == HalvardineExtraAuthorizationSessionDuration::background;
}

// Where a file that a client sends came from.
enum class FileTransferSource { file, photo };
template <>
struct platform::StringEnumTraits<FileTransferSource> : platform::RawValues<"file", "photo"> {};

// The route by which a client reached the server.
enum class HalvardineConnectionRoute { localHost, localService, relay };
template <>
struct platform::StringEnumTraits<HalvardineConnectionRoute>
    : platform::RawValues<"localHost", "localService", "relay"> {};

enum class RemoteFileResourceKind { file, directory };
template <>
struct platform::StringEnumTraits<RemoteFileResourceKind> : platform::RawValues<"file", "directory"> {};

// The key of a folder listing's order.
enum class RemoteFileSortField { name, modificationDate, size };
template <>
struct platform::StringEnumTraits<RemoteFileSortField> : platform::RawValues<"name", "modificationDate", "size"> {};

enum class RemoteFileSortDirection { ascending, descending };
template <>
struct platform::StringEnumTraits<RemoteFileSortDirection> : platform::RawValues<"ascending", "descending"> {};

// The state of a workflow run shown in a widget.
enum class WorkflowWidgetActivityState { running, succeeded, failed };
template <>
struct platform::StringEnumTraits<WorkflowWidgetActivityState> : platform::RawValues<"running", "succeeded", "failed"> {
};

// Stream quality presets; the values each preset stands for belong to the
// screen stream.
enum class RemoteScreenStreamQualityProfile { original, retinaText, high, medium, low, veryLow };
template <>
struct platform::StringEnumTraits<RemoteScreenStreamQualityProfile>
    : platform::RawValues<"original", "retinaText", "high", "medium", "low", "veryLow"> {};

// The state of the relay connection that the server core compares and shows.
enum class HalvardineRelayConnectionState { disabled, connecting, connected, failed };
template <>
struct platform::StringEnumTraits<HalvardineRelayConnectionState>
    : platform::RawValues<"disabled", "connecting", "connected", "failed"> {};

}  // namespace zentrabo
