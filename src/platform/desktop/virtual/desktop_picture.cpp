#include "platform/desktop/virtual/desktop_picture.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/imaging/image_file.hpp"
#include "platform/imaging/image_resize.hpp"
#include "platform/text/case_table.hpp"

namespace zentrabo::platform {

namespace {

// The longest side, in pixels, that any mode of the display shows.
std::uint32_t largestPixelSide(const ScenarioDisplay& display) {
    auto side = static_cast<std::int64_t>(std::max(display.bounds.width, display.bounds.height) * display.scale);
    for (const auto& mode : display.modes) side = std::max({side, mode.pixelWidth, mode.pixelHeight});
    return static_cast<std::uint32_t>(std::max<std::int64_t>(side, 1));
}

// Icons are drawn small; a larger picture would only cost memory on every
// request for it.
constexpr std::uint32_t maximumIconPixelSize = 1024;

struct PictureFile {
    std::vector<std::uint8_t> bytes;
    ImageFileFormat format = ImageFileFormat::png;
    RgbaImage image;
};

PictureFile readPicture(const std::string& path, std::uint32_t maximumPixelSize, const std::string& where) {
    auto read = readRegularFile(path, maximumImageFileByteCount);
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
        auto image = decodeImageFile(read.bytes, maximumPixelSize);
        const auto format = *imageFileFormat(read.bytes);  // decoding succeeded, so there is one
        return {std::move(read.bytes), format, std::move(image)};
    } catch (const ImagingError& error) {
        throw ScenarioError(where + ": " + error.what());
    }
}

std::string_view usualExtension(ImageFileFormat format) {
    static constexpr auto extensions = caseTable<ImageFileFormat, std::string_view>({
        {ImageFileFormat::png, "png"},
        {ImageFileFormat::jpeg, "jpg"},
        {ImageFileFormat::tiff, "tiff"},
        {ImageFileFormat::icns, "icns"},
        {ImageFileFormat::webp, "webp"},
    });
    return extensions.entryOr(format, "png");
}

}  // namespace

std::vector<std::shared_ptr<const RgbaImage>> loadDesktopPictures(const DesktopScenario& scenario) {
    std::vector<std::shared_ptr<const RgbaImage>> pictures;
    for (std::size_t index = 0; index < scenario.displays.size(); ++index) {
        const auto& display = scenario.displays[index];
        if (!display.picture) {
            pictures.push_back(nullptr);
            continue;
        }
        auto picture =
            readPicture(*display.picture, largestPixelSide(display), "displays[" + std::to_string(index) + "].picture");
        pictures.push_back(std::make_shared<const RgbaImage>(std::move(picture.image)));
    }
    return pictures;
}

std::map<std::string, ApplicationIconPicture> loadApplicationIconPictures(const DesktopScenario& scenario) {
    std::map<std::string, ApplicationIconPicture> pictures;
    for (std::size_t index = 0; index < scenario.applications.size(); ++index) {
        const auto& application = scenario.applications[index];
        if (!application.icon || pictures.contains(application.bundleIdentifier)) continue;
        auto picture =
            readPicture(*application.icon, maximumIconPixelSize, "applications[" + std::to_string(index) + "].icon");
        pictures.emplace(application.bundleIdentifier,
                         ApplicationIconPicture{std::move(picture.bytes), std::string(usualExtension(picture.format)),
                                                std::make_shared<const RgbaImage>(std::move(picture.image))});
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
