#include "platform/desktop/application_bundle.hpp"

#include <algorithm>
#include <system_error>

namespace zentrabo::platform {

namespace {

constexpr int maximumFolderDepth = 64;

void collectBundles(const std::filesystem::path& folder, int depth, std::vector<std::filesystem::path>& bundles) {
    if (depth > maximumFolderDepth) return;
    std::error_code error;
    std::vector<std::filesystem::directory_entry> entries;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& entry : entries) {
        const auto name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (entry.path().extension() == ".app") {
            bundles.push_back(entry.path());
        } else if (entry.is_directory(error) && !entry.is_symlink(error)) {
            collectBundles(entry.path(), depth + 1, bundles);
        }
    }
}

}  // namespace

std::optional<ApplicationBundle> ApplicationBundle::open(const std::filesystem::path& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
    auto info = readPropertyListFile(folder / "Contents" / "Info.plist");
    if (!info || !info->dictionary()) info = PropertyListValue();
    return ApplicationBundle(folder, std::move(*info));
}

std::optional<std::string> ApplicationBundle::bundleIdentifier() const {
    const auto* value = infoValue("CFBundleIdentifier");
    if (!value || !value->string() || value->string()->empty()) return std::nullopt;
    return *value->string();
}

std::string ApplicationBundle::displayName() const {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        if (const auto* value = infoValue(key); value && value->string()) return *value->string();
    }
    return path_.stem().string();
}

std::optional<std::filesystem::path> ApplicationBundle::resourcePath(std::string_view name,
                                                                     std::string_view extension) const {
    std::string file(name);
    if (!extension.empty()) file += "." + std::string(extension);
    if (file.empty() || file.find('/') != std::string::npos) return std::nullopt;
    const auto path = resourcesFolder() / file;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    return path;
}

std::vector<std::filesystem::path> ApplicationBundle::resourcePaths(std::string_view extension) const {
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    const std::string suffix = "." + std::string(extension);
    for (std::filesystem::directory_iterator it(resourcesFolder(), error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == suffix && it->is_regular_file(error)) paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    return paths;
}

std::vector<std::filesystem::path> findApplicationBundles(const std::vector<std::filesystem::path>& folders) {
    std::vector<std::filesystem::path> bundles;
    for (const auto& folder : folders) collectBundles(folder, 0, bundles);
    return bundles;
}

}  // namespace zentrabo::platform
