#include "model/records/stream_input_errors.hpp"

#include "platform/text/case_table.hpp"

namespace zentrabo {

using platform::caseTable;

std::string_view errorText(RemoteScreenPointerEventWireErrorCase errorCase) noexcept {
    using Case = RemoteScreenPointerEventWireErrorCase;
    static constexpr auto texts = caseTable<Case, std::string_view>({
        {Case::invalidPayload, "The stream pointer event is invalid."},
        {Case::invalidKind, "The stream pointer event kind is unknown."},
    });
    return texts.entryOr(errorCase, "The stream pointer event is invalid.");
}

std::string_view errorText(RemoteScreenPasteTextWireErrorCase errorCase) noexcept {
    using Case = RemoteScreenPasteTextWireErrorCase;
    static constexpr auto texts = caseTable<Case, std::string_view>({
        {Case::emptyText, "The stream text input is empty."},
        {Case::invalidUTF8, "The stream text input is invalid."},
        {Case::payloadTooLarge, "The stream text input is too large."},
    });
    return texts.entryOr(errorCase, "The stream text input is invalid.");
}

std::string_view errorText(RemoteScreenKeyboardEventWireErrorCase errorCase) noexcept {
    using Case = RemoteScreenKeyboardEventWireErrorCase;
    static constexpr auto texts = caseTable<Case, std::string_view>({
        {Case::emptyEvent, "No keyboard event was provided."},
        {Case::payloadTooLarge, "The keyboard event is too large."},
    });
    return texts.entryOr(errorCase, "The keyboard event is too large.");
}

std::string_view errorText(RemoteScreenResizeWindowRequestWireErrorCase errorCase) noexcept {
    using Case = RemoteScreenResizeWindowRequestWireErrorCase;
    static constexpr auto texts = caseTable<Case, std::string_view>({
        {Case::emptyRequest, "No window size was provided."},
        {Case::payloadTooLarge, "The window resize request is too large."},
    });
    return texts.entryOr(errorCase, "The window resize request is too large.");
}

std::string_view errorText(RemoteScreenHeadPoseEventWireErrorCase errorCase) noexcept {
    using Case = RemoteScreenHeadPoseEventWireErrorCase;
    static constexpr auto texts = caseTable<Case, std::string_view>({
        {Case::emptyEvent, "No head tracking event was provided."},
        {Case::payloadTooLarge, "The head tracking event is too large."},
    });
    return texts.entryOr(errorCase, "The head tracking event is too large.");
}

}  // namespace zentrabo
