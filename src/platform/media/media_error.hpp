#pragma once
// A failure of the media libraries, with their own text for it.
#include <stdexcept>

namespace zentrabo::platform {

class MediaError : public std::runtime_error {
public:
    // Carries the library's text for an AVERROR code.
    explicit MediaError(int code);

    int code() const { return code_; }

private:
    int code_;
};

// Throws MediaError for a negative FFmpeg result.
inline void throwIfMediaError(int result) {
    if (result < 0) throw MediaError(result);
}

}  // namespace zentrabo::platform
