#pragma once
// An application bundle's own icon picture: the icon names its information
// dictionary gives, the files each name may stand for, and the largest
// picture among them.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/application_bundle.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo {

// The extensions tried, in this order, for an icon name that has none.
inline constexpr std::array<std::string_view, 6> iconImageExtensions = {"icns", "png", "tiff", "tif", "jpg", "jpeg"};

// The icon names of an information dictionary as up to three lists, each in
// the order found, trimmed, without empty or repeated names, and only those
// that are not empty, in this order: the icon files of "CFBundleIcons" and
// "CFBundleIcons~ipad" (their primary icon when they have one) and the
// top-level "CFBundleIconFiles"; the "CFBundleIconName" of all three places;
// the top-level "CFBundleIconFile".
std::vector<std::vector<std::string>> iconResourceNames(const platform::PropertyListValue& info);

// The files of the bundle that the icon name may stand for, each once: for a
// name without an extension the file of that very name, then for each image
// extension the name with it and every resource with it named name or
// name@..., in file-name order; for a name with one, the name itself. Last,
// a name with folders in it, when it stays inside the resource folder.
std::vector<std::filesystem::path> iconResourceURLs(const std::string& name, const platform::ApplicationBundle& bundle);

// The bundle's own icon picture: the largest picture of the first list of
// names that gives any, else the largest of the bundle's .icns files; none
// when the folder is not a bundle or nothing decodes.
std::optional<platform::RgbaImage> bundleIconImage(const std::filesystem::path& url);

}  // namespace zentrabo
