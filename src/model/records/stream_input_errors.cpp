#include "model/records/stream_input_errors.hpp"

namespace zentrabo {

std::string_view errorText(RemoteScreenPointerEventWireErrorCase errorCase) noexcept {
    switch (errorCase) {
    case RemoteScreenPointerEventWireErrorCase::invalidPayload:
        return "The stream pointer event is invalid.";
    case RemoteScreenPointerEventWireErrorCase::invalidKind:
        return "The stream pointer event kind is unknown.";
    }
    return "The stream pointer event is invalid.";
}

std::string_view errorText(RemoteScreenPasteTextWireErrorCase errorCase) noexcept {
    switch (errorCase) {
    case RemoteScreenPasteTextWireErrorCase::emptyText:
        return "The stream text input is empty.";
    case RemoteScreenPasteTextWireErrorCase::invalidUTF8:
        return "The stream text input is invalid.";
    case RemoteScreenPasteTextWireErrorCase::payloadTooLarge:
        return "The stream text input is too large.";
    }
    return "The stream text input is invalid.";
}

std::string_view errorText(RemoteScreenKeyboardEventWireErrorCase errorCase) noexcept {
    switch (errorCase) {
    case RemoteScreenKeyboardEventWireErrorCase::emptyEvent:
        return "No keyboard event was provided.";
    case RemoteScreenKeyboardEventWireErrorCase::payloadTooLarge:
        return "The keyboard event is too large.";
    }
    return "The keyboard event is too large.";
}

std::string_view errorText(RemoteScreenResizeWindowRequestWireErrorCase errorCase) noexcept {
    switch (errorCase) {
    case RemoteScreenResizeWindowRequestWireErrorCase::emptyRequest:
        return "No window size was provided.";
    case RemoteScreenResizeWindowRequestWireErrorCase::payloadTooLarge:
        return "The window resize request is too large.";
    }
    return "The window resize request is too large.";
}

std::string_view errorText(RemoteScreenHeadPoseEventWireErrorCase errorCase) noexcept {
    switch (errorCase) {
    case RemoteScreenHeadPoseEventWireErrorCase::emptyEvent:
        return "No head tracking event was provided.";
    case RemoteScreenHeadPoseEventWireErrorCase::payloadTooLarge:
        return "The head tracking event is too large.";
    }
    return "The head tracking event is too large.";
}

}  // namespace zentrabo
