#pragma once
// The workspace: which applications run and which one is in front, where the
// installed applications live, and opening applications, URLs and files.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/running_application.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// An installed application as the workspace's catalogue lists it.
struct InstalledApplication {
    // What the wire calls the bundle identifier.
    std::string identifier;
    std::string localizedName;
    // Where it is installed: the bundle folder or the entry file, which is
    // also what its icon is read from.
    std::filesystem::path location;
};

// The outcome of an open request; error is the platform's user-facing text.
struct OpenResult {
    bool ok = false;
    std::string error;
};

class Workspace {
public:
    virtual ~Workspace() = default;

    // Running applications in the workspace's order (launch order).
    virtual std::vector<std::shared_ptr<RunningApplication>> runningApplications() = 0;
    virtual std::shared_ptr<RunningApplication> frontmostApplication() = 0;

    // The installed applications in search order (the system-wide ones
    // first, then the user's own); an identifier may be listed again by a
    // later copy, and the first one counts. Read afresh on every call.
    virtual std::vector<InstalledApplication> installedApplications() = 0;
    // The location of the first installed application with that identifier;
    // none when no installed application declares it.
    virtual std::optional<std::filesystem::path> urlForApplication(const std::string& bundleIdentifier) = 0;

    // Launches the installed application at the location, or asks a running one to
    // reopen (come forward and show a window). activates brings it to the
    // front once it runs. A launched application appears among the running
    // applications after its launch delay, not at once.
    virtual OpenResult openApplication(const std::filesystem::path& bundle, bool activates) = 0;
    // Hands a URL (any scheme) or a file or folder to its default handler.
    virtual OpenResult openURL(const std::string& url) = 0;
    virtual OpenResult openFile(const std::filesystem::path& path) = 0;

    // The icon the workspace shows for a file or bundle; none when the path
    // does not exist.
    virtual std::optional<RgbaImage> iconForFile(const std::filesystem::path& path) = 0;
};

}  // namespace zentrabo::platform
