#pragma once
// Why a stream input payload from the device could not be read. Each error
// is one case of a closed set with a fixed text for the user.
#include <exception>
#include <string_view>

namespace zentrabo {

// errorText(Case), found by argument-dependent lookup, gives the text of a
// case as a string literal.
template <class CaseType>
class StreamInputError : public std::exception {
public:
    using Case = CaseType;

    explicit StreamInputError(Case errorCase) noexcept : case_(errorCase) {}

    Case errorCase() const noexcept { return case_; }
    std::string_view errorDescription() const noexcept { return errorText(case_); }
    const char* what() const noexcept override { return errorText(case_).data(); }

private:
    Case case_;
};

enum class RemoteScreenPointerEventWireErrorCase { invalidPayload, invalidKind };
std::string_view errorText(RemoteScreenPointerEventWireErrorCase errorCase) noexcept;
using RemoteScreenPointerEventWireError = StreamInputError<RemoteScreenPointerEventWireErrorCase>;

enum class RemoteScreenPasteTextWireErrorCase { emptyText, invalidUTF8, payloadTooLarge };
std::string_view errorText(RemoteScreenPasteTextWireErrorCase errorCase) noexcept;
using RemoteScreenPasteTextWireError = StreamInputError<RemoteScreenPasteTextWireErrorCase>;

enum class RemoteScreenKeyboardEventWireErrorCase { emptyEvent, payloadTooLarge };
std::string_view errorText(RemoteScreenKeyboardEventWireErrorCase errorCase) noexcept;
using RemoteScreenKeyboardEventWireError = StreamInputError<RemoteScreenKeyboardEventWireErrorCase>;

enum class RemoteScreenResizeWindowRequestWireErrorCase { emptyRequest, payloadTooLarge };
std::string_view errorText(RemoteScreenResizeWindowRequestWireErrorCase errorCase) noexcept;
using RemoteScreenResizeWindowRequestWireError = StreamInputError<RemoteScreenResizeWindowRequestWireErrorCase>;

enum class RemoteScreenHeadPoseEventWireErrorCase { emptyEvent, payloadTooLarge };
std::string_view errorText(RemoteScreenHeadPoseEventWireErrorCase errorCase) noexcept;
using RemoteScreenHeadPoseEventWireError = StreamInputError<RemoteScreenHeadPoseEventWireErrorCase>;

}  // namespace zentrabo
