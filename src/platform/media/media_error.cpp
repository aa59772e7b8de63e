#include "platform/media/media_error.hpp"

#include <array>
#include <string>

extern "C" {
#include <libavutil/error.h>
}

namespace zentrabo::platform {
namespace {

std::string errorText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

}  // namespace

MediaError::MediaError(int code) : std::runtime_error(errorText(code)), code_(code) {}

}  // namespace zentrabo::platform
