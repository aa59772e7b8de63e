// Application icons: each requested application's icon as a small rounded
// PNG, cached per application while its bundle on disk stays the same.
#include <algorithm>
#include <system_error>
#include <unordered_set>

#include "maccontrol/bundle_icon.hpp"
#include "maccontrol/icon_drawing.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/application_identifier.hpp"
#include "platform/files/resource_values.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

namespace {

using platform::RgbaImage;

struct IconSourceImage {
    RgbaImage image;
    // Pictures that the platform draws for an application (on a backdrop of
    // its own, say) get their plain margin trimmed; the bundle's own files
    // are drawn as they are.
    bool trims = false;
};

bool isValid(const std::optional<RgbaImage>& image) { return image && image->width > 0 && image->height > 0; }

// The bundle's own picture, else the running application's, else the one the
// workspace shows for the bundle.
std::optional<IconSourceImage> iconImage(platform::Workspace& workspace,
                                         const std::optional<std::filesystem::path>& applicationURL,
                                         const platform::RunningApplication* runningApplication) {
    if (applicationURL) {
        if (auto image = bundleIconImage(*applicationURL)) return IconSourceImage{std::move(*image), false};
    }
    if (runningApplication) {
        if (auto image = runningApplication->icon(); isValid(image)) return IconSourceImage{std::move(*image), true};
    }
    if (applicationURL) {
        if (auto image = workspace.iconForFile(*applicationURL); isValid(image)) {
            return IconSourceImage{std::move(*image), true};
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<RemoteApplicationIcon> DesktopController::applicationIcons(
    const std::vector<std::string>& bundleIdentifiers) {
    std::vector<RemoteApplicationIcon> icons;
    std::unordered_set<std::string> seen;
    // Listed once for the request rather than once an identifier.
    const auto running = desktop_.workspace().runningApplications();
    const double end = desktop_.clock().monotonicNow() + applicationIconsSeconds;
    std::size_t leftOut = 0;
    for (const auto& requested : bundleIdentifiers) {
        auto bundleIdentifier = platform::trimWhitespaceAndNewlines(requested);
        if (bundleIdentifier.empty() || seen.contains(bundleIdentifier)) continue;
        if (seen.size() >= maximumIconIdentifiersLookedAt || desktop_.clock().monotonicNow() >= end) {
            ++leftOut;
            continue;
        }
        seen.insert(bundleIdentifier);
        if (auto icon = applicationIcon(bundleIdentifier, running)) icons.push_back(std::move(*icon));
    }
    if (leftOut > 0) {
        ZENTRABO_LOG("Application icons: " + std::to_string(leftOut) + " identifiers not looked at, past " +
                     std::to_string(maximumIconIdentifiersLookedAt) + " or " +
                     std::to_string(static_cast<int>(applicationIconsSeconds)) + " s");
    }
    return icons;
}

std::optional<RemoteApplicationIcon> DesktopController::applicationIcon(const std::string& bundleIdentifier) {
    return applicationIcon(bundleIdentifier, desktop_.workspace().runningApplications());
}

std::optional<RemoteApplicationIcon> DesktopController::applicationIcon(
    const std::string& bundleIdentifier,
    const std::vector<std::shared_ptr<platform::RunningApplication>>& runningApplications) {
    const auto found =
        std::find_if(runningApplications.begin(), runningApplications.end(), [&](const auto& application) {
            return platform::identifierAnswers(application->bundleIdentifier(), bundleIdentifier);
        });
    const auto running = found == runningApplications.end() ? nullptr : *found;
    auto applicationURL = running ? running->bundleURL() : std::nullopt;
    if (!applicationURL) applicationURL = desktop_.workspace().urlForApplication(bundleIdentifier);
    auto sourceKey = iconSourceKey(bundleIdentifier, applicationURL);

    const auto cached = applicationIconCache.find(bundleIdentifier);
    if (cached != applicationIconCache.end() && cached->second.sourceKey == sourceKey) return cached->second.icon;

    std::optional<std::vector<std::uint8_t>> png;
    if (const auto source = iconImage(desktop_.workspace(), applicationURL, running.get())) {
        const auto renderSize = static_cast<std::uint32_t>(applicationIconRenderPixelSize);
        if (const auto render = renderIcon(source->image, renderSize)) {
            const auto trimRect = source->trims ? iconTrimRect(*render) : std::nullopt;
            png = iconPNGData(*render, trimRect.value_or(platform::PixelRect{0, 0, renderSize, renderSize}),
                              static_cast<std::uint32_t>(applicationIconPixelSize));
        }
    }
    if (!png || png->empty() || std::ssize(*png) > maximumApplicationIconPNGByteCount) {
        applicationIconCache.erase(bundleIdentifier);
        return std::nullopt;
    }
    RemoteApplicationIcon icon{bundleIdentifier, std::move(*png), applicationIconPixelSize};
    applicationIconCache.insert_or_assign(bundleIdentifier, CachedApplicationIcon{std::move(sourceKey), icon});
    return icon;
}

std::string DesktopController::iconSourceKey(const std::string& bundleIdentifier,
                                             const std::optional<std::filesystem::path>& applicationURL) const {
    const auto pixelSize = std::to_string(applicationIconPixelSize);
    const auto version = std::to_string(applicationIconProcessingVersion);
    if (!applicationURL) return "running:" + bundleIdentifier + ":" + pixelSize + ":" + version;
    std::error_code error;
    const auto values = platform::fileResourceValues(applicationURL->string(), error);
    // Whole seconds, truncated toward zero; 0 when the date cannot be read.
    // Kept inside the integer's range, whatever date a file system allows.
    constexpr double limit = 9.0e18;
    const auto modified = values ? static_cast<std::int64_t>(std::clamp(
                                       values->contentModificationDate.secondsSinceReferenceDate, -limit, limit))
                                 : 0;
    return applicationURL->string() + "|" + std::to_string(modified) + "|" + pixelSize + "|" + version;
}

}  // namespace zentrabo
