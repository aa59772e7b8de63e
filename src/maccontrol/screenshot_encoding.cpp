// Captured images as the JPEG records a device receives, and their file names.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/local_timestamp.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/files/content_type.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/characters.hpp"
#include "platform/random/uuid.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

constexpr double screenshotJPEGQuality = 0.9;

// The file name of a picture: the prefix lowercased, every character that is
// neither a letter, mark or digit nor "-" or "_" turned into "-", runs of "-"
// collapsed and none at either end.
std::string sanitizedName(std::string_view prefix) {
    const std::string lower = platform::lowercased(prefix);
    std::string name;
    bool pendingDash = false;
    for (const std::string_view character : platform::characters(lower)) {
        const bool kept = character == "_" || platform::hasLetterMarkOrDigit(character);
        if (!kept) {
            pendingDash = !name.empty();
            continue;
        }
        if (pendingDash) name += '-';
        pendingDash = false;
        name += character;
    }
    return name;
}

}  // namespace

std::string DesktopController::screenshotFilename(std::string_view prefix) {
    std::string name = sanitizedName(prefix);
    if (name.empty()) name = "screenshot";
    return name + "-" + localTimestamp(desktop_.clock().now()) + ".jpg";
}

namespace {

// screenshotCaptureFailed when the picture cannot be encoded.
template <typename Picture>
std::vector<std::uint8_t> screenshotJpeg(const Picture& picture) {
    try {
        return platform::encodeJpeg(picture, screenshotJPEGQuality);
    } catch (const platform::ImagingError&) {
        throw MacMenuError(Case::screenshotCaptureFailed);
    }
}

}  // namespace

RemoteScreenshot DesktopController::encodeScreenshot(const platform::RgbaRows& picture, std::string title,
                                                     std::string_view filenamePrefix) {
    return screenshotRecord(screenshotJpeg(picture), std::move(title), filenamePrefix);
}

RemoteScreenshot DesktopController::encodeScreenshot(const platform::PackedPixels& picture, std::string title,
                                                     std::string_view filenamePrefix) {
    return screenshotRecord(screenshotJpeg(picture), std::move(title), filenamePrefix);
}

RemoteScreenshot DesktopController::screenshotRecord(std::vector<std::uint8_t> jpeg, std::string title,
                                                     std::string_view filenamePrefix) {
    return {platform::Uuid::random().uuidString, std::move(title), screenshotFilename(filenamePrefix),
            std::string(platform::jpegContentType), std::move(jpeg)};
}

}  // namespace zentrabo
