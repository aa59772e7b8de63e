#include "maccontrol/bundle_icon.hpp"

#include <algorithm>
#include <system_error>

#include "platform/files/bounded_file_read.hpp"
#include "platform/imaging/image_file.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

namespace {

using platform::PropertyListValue;
using platform::RgbaImage;

std::uint64_t pixelArea(const RgbaImage& image) { return std::uint64_t{image.width} * image.height; }

// Keeps the picture with the greatest area of those offered, the first one
// among equals, so that only one decoded candidate is held at a time.
class LargestImage {
public:
    void offer(std::optional<RgbaImage> image) {
        if (!image || pixelArea(*image) == 0) return;
        if (!largest_ || pixelArea(*image) > pixelArea(*largest_)) largest_ = std::move(image);
    }
    std::optional<RgbaImage> take() { return std::move(largest_); }

private:
    std::optional<RgbaImage> largest_;
};

std::optional<RgbaImage> loadImage(const std::filesystem::path& path) {
    const auto read = platform::readRegularFile(path.string(), platform::maximumImageFileByteCount);
    if (read.status != platform::BoundedFileRead::Status::ok) return std::nullopt;
    try {
        return platform::decodeImageFile(read.bytes);
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

void appendName(const PropertyListValue* value, std::vector<std::string>& names) {
    if (!value || !value->string()) return;
    auto name = platform::trimWhitespaceAndNewlines(*value->string());
    if (!name.empty()) names.push_back(std::move(name));
}

void appendNames(const PropertyListValue* value, std::vector<std::string>& names) {
    if (!value || !value->array()) return;
    for (const auto& element : *value->array()) appendName(&element, names);
}

template <typename T>
void removeRepeats(std::vector<T>& items) {
    std::vector<T> unique;
    for (auto& item : items) {
        if (std::find(unique.begin(), unique.end(), item) == unique.end()) unique.push_back(std::move(item));
    }
    items = std::move(unique);
}

// A relative path without "..": joined to the resource folder it stays there.
bool staysInside(const std::string& name) {
    const std::filesystem::path path(name);
    if (path.empty() || !path.is_relative()) return false;
    return std::none_of(path.begin(), path.end(), [](const std::filesystem::path& part) { return part == ".."; });
}

}  // namespace

std::vector<std::vector<std::string>> iconResourceNames(const PropertyListValue& info) {
    std::vector<std::string> files;      // icon files of the icon dictionaries and the top level
    std::vector<std::string> iconNames;  // named icons
    std::vector<std::string> iconFile;   // the top level's one icon file
    for (const char* key : {"CFBundleIcons", "CFBundleIcons~ipad"}) {
        const PropertyListValue* icons = info.find(key);
        if (!icons || !icons->dictionary()) continue;
        if (!icons->dictionary()->empty()) {
            const PropertyListValue* primary = icons->find("CFBundlePrimaryIcon");
            if (primary && primary->dictionary()) icons = primary;
        }
        appendNames(icons->find("CFBundleIconFiles"), files);
        appendName(icons->find("CFBundleIconName"), iconNames);
        appendName(icons->find("CFBundleIconFile"), files);
    }
    appendNames(info.find("CFBundleIconFiles"), files);
    appendName(info.find("CFBundleIconName"), iconNames);
    appendName(info.find("CFBundleIconFile"), iconFile);

    std::vector<std::vector<std::string>> lists;
    for (auto* list : {&files, &iconNames, &iconFile}) {
        removeRepeats(*list);
        if (!list->empty()) lists.push_back(std::move(*list));
    }
    return lists;
}

std::vector<std::filesystem::path> iconResourceURLs(const std::string& name,
                                                    const platform::ApplicationBundle& bundle) {
    const std::string dottedExtension = std::filesystem::path(name).extension().string();
    const bool bare = dottedExtension.empty();
    const std::string base = name.substr(0, name.size() - dottedExtension.size());
    const std::string ownExtension = bare ? std::string() : dottedExtension.substr(1);

    std::vector<std::filesystem::path> urls;
    if (bare) {
        if (auto path = bundle.resourcePath(name, "")) urls.push_back(*path);
    }
    std::vector<std::string_view> extensions(iconImageExtensions.begin(), iconImageExtensions.end());
    if (!bare) extensions = {ownExtension};
    for (const auto extension : extensions) {
        if (auto path = bundle.resourcePath(base, extension)) urls.push_back(*path);
        if (!bare) continue;
        for (auto& path : bundle.resourcePaths(extension)) {
            const std::string stem = path.stem().string();
            if (stem == name || stem.starts_with(name + "@")) urls.push_back(std::move(path));
        }
    }
    // Names with folders in them are found only here; names that would climb
    // out of the bundle are not followed.
    if (staysInside(name)) {
        const auto path = bundle.resourcesFolder() / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) urls.push_back(path);
    }
    removeRepeats(urls);
    return urls;
}

std::optional<RgbaImage> bundleIconImage(const std::filesystem::path& url) {
    const auto bundle = platform::ApplicationBundle::open(url);
    if (!bundle) return std::nullopt;
    // A bundle here has no compiled image catalogue: the picture it has for a
    // name is one of the name's files. The largest of a list is the largest
    // of its names' largest, so one pass over all of the list's files finds
    // it, the earlier name and file winning among equals.
    for (const auto& names : iconResourceNames(bundle->infoDictionary())) {
        LargestImage largest;
        for (const auto& name : names) {
            for (const auto& url : iconResourceURLs(name, *bundle)) largest.offer(loadImage(url));
        }
        if (auto image = largest.take()) return image;
    }
    LargestImage largest;
    for (const auto& path : bundle->resourcePaths("icns")) largest.offer(loadImage(path));
    return largest.take();
}

}  // namespace zentrabo
