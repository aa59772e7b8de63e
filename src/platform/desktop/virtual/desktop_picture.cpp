#include "platform/desktop/virtual/desktop_picture.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/imaging/image_file.hpp"
#include "platform/imaging/image_resize.hpp"

namespace zentrabo::platform {

namespace {

// The longest side, in pixels, that any mode of the display shows.
std::uint32_t largestPixelSide(const ScenarioDisplay& display) {
    auto side = static_cast<std::int64_t>(std::max(display.bounds.width, display.bounds.height) * display.scale);
    for (const auto& mode : display.modes) side = std::max({side, mode.pixelWidth, mode.pixelHeight});
    return static_cast<std::uint32_t>(std::max<std::int64_t>(side, 1));
}

std::shared_ptr<const RgbaImage> loadPicture(const ScenarioDisplay& display, const std::string& where) {
    const auto read = readRegularFile(*display.picture, maximumImageFileByteCount);
    switch (read.status) {
    case BoundedFileRead::Status::ok:
        break;
    case BoundedFileRead::Status::tooLarge:
        throw ScenarioError(where + ": larger than " + std::to_string(maximumImageFileByteCount >> 20) + " MiB");
    case BoundedFileRead::Status::notRegularFile:
        throw ScenarioError(where + ": not a regular file");
    case BoundedFileRead::Status::failed:
        throw ScenarioError(where + ": cannot be read (" + read.error.message() + ")");
    }
    try {
        return std::make_shared<const RgbaImage>(decodeImageFile(read.bytes, largestPixelSide(display)));
    } catch (const ImagingError& error) {
        throw ScenarioError(where + ": " + error.what());
    }
}

}  // namespace

std::vector<std::shared_ptr<const RgbaImage>> loadDesktopPictures(const DesktopScenario& scenario) {
    std::vector<std::shared_ptr<const RgbaImage>> pictures;
    for (std::size_t index = 0; index < scenario.displays.size(); ++index) {
        const auto& display = scenario.displays[index];
        pictures.push_back(display.picture ? loadPicture(display, "displays[" + std::to_string(index) + "].picture")
                                           : nullptr);
    }
    return pictures;
}

RgbaImage pictureForDisplay(const RgbaImage& picture, const DisplayMode& mode) {
    const auto width = static_cast<std::uint32_t>(mode.pixelWidth);
    const auto height = static_cast<std::uint32_t>(mode.pixelHeight);
    if (picture.width == width && picture.height == height) return picture;
    return resizeImage(picture, width, height);
}

}  // namespace zentrabo::platform
