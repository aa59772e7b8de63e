#include "platform/desktop/virtual/bundle_materializer.hpp"

#include <system_error>

#include "platform/desktop/application_bundle.hpp"
#include "platform/files/atomic_file.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// Marks a bundle as the virtual desktop's own, so a later scenario may
// replace it.
constexpr const char* markerName = ".virtual-desktop";
constexpr std::uint32_t iconPixelSize = 128;

PropertyListValue infoDictionary(const ScenarioApplication& application) {
    PropertyListValue::Dictionary info{
        {"CFBundleIdentifier", application.bundleIdentifier},
        {"CFBundleName", application.name},
        {"CFBundleExecutable", application.name},
        {"CFBundlePackageType", "APPL"},
        {"CFBundleIconFile", "AppIcon"},
    };
    if (application.displayName) info.emplace_back("CFBundleDisplayName", *application.displayName);
    return PropertyListValue(PropertyListValue::Storage(std::move(info)));
}

}  // namespace

std::filesystem::path virtualDesktopFolder() { return dataFolder() / "virtual-desktop"; }

std::vector<std::filesystem::path> virtualApplicationFolders() {
    const auto root = virtualDesktopFolder();
    return {root / "Applications", root / "Home" / "Applications"};
}

std::map<std::string, std::filesystem::path> materializeApplicationBundles(
    const DesktopScenario& scenario, const std::vector<std::filesystem::path>& folders,
    const std::map<std::string, ApplicationIconPicture>& iconPictures) {
    for (const auto& folder : folders) std::filesystem::create_directories(folder);
    for (const auto& bundle : findApplicationBundles(folders)) {
        std::error_code error;
        if (std::filesystem::exists(bundle / "Contents" / markerName, error)) std::filesystem::remove_all(bundle);
    }
    std::map<std::string, std::filesystem::path> bundles;
    for (const auto& application : scenario.applications) {
        if (!application.installed) continue;
        auto path = folders.at(application.folder == ApplicationFolder::user ? 1 : 0);
        if (!application.subfolder.empty()) path /= application.subfolder;
        path /= application.name + ".app";
        std::filesystem::remove_all(path);
        const auto resources = path / "Contents" / "Resources";
        std::filesystem::create_directories(resources);
        writePropertyListFile(path / "Contents" / "Info.plist", infoDictionary(application));
        const auto picture = iconPictures.find(application.bundleIdentifier);
        const auto icon = picture != iconPictures.end()
                              ? picture->second.file
                              : encodePng(RgbaImage(iconPixelSize, iconPixelSize, application.iconColor));
        const auto extension = picture != iconPictures.end() ? picture->second.extension : "png";
        writeFileAtomically(resources / ("AppIcon." + extension),
                            std::string_view(reinterpret_cast<const char*>(icon.data()), icon.size()), 0644);
        writeFileAtomically(path / "Contents" / markerName, "", 0644);
        bundles.emplace(application.bundleIdentifier, path);
    }
    return bundles;
}

}  // namespace zentrabo::platform
