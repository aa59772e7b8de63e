#pragma once
// An application bundle folder: Name.app/Contents/Info.plist and its
// resources in Name.app/Contents/Resources.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/property_list.hpp"

namespace zentrabo::platform {

class ApplicationBundle {
public:
    // Any existing folder is a bundle; one without a readable information
    // dictionary has an empty one (and so no identifier).
    static std::optional<ApplicationBundle> open(const std::filesystem::path& folder);

    const std::filesystem::path& path() const { return path_; }
    const PropertyListValue& infoDictionary() const { return info_; }
    const PropertyListValue* infoValue(std::string_view key) const { return info_.find(key); }
    // "CFBundleIdentifier" when it is a non-empty string.
    std::optional<std::string> bundleIdentifier() const;
    // The name shown for the bundle: "CFBundleDisplayName", else
    // "CFBundleName", when a string (even an empty one), else the folder's
    // name without its extension.
    std::string displayName() const;

    std::filesystem::path resourcesFolder() const { return path_ / "Contents" / "Resources"; }
    // The resource file name.extension (extension may be empty), when it exists.
    std::optional<std::filesystem::path> resourcePath(std::string_view name, std::string_view extension) const;
    // Every resource file with the extension, sorted by file name so that a
    // choice among them can be reproduced.
    std::vector<std::filesystem::path> resourcePaths(std::string_view extension) const;

private:
    ApplicationBundle(std::filesystem::path path, PropertyListValue info)
        : path_(std::move(path)), info_(std::move(info)) {}

    std::filesystem::path path_;
    PropertyListValue info_;
};

// The application bundles ("*.app", the extension compared exactly) in the
// folders and their subfolders, in search order; hidden entries are skipped,
// bundles are not entered, unreadable folders are passed over, and nesting
// stops at 64 levels.
std::vector<std::filesystem::path> findApplicationBundles(const std::vector<std::filesystem::path>& folders);

}  // namespace zentrabo::platform
