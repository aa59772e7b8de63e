// Files a device sends in a workflow, saved under safe names of their own.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "maccontrol/file_browser.hpp"
#include "maccontrol/local_timestamp.hpp"
#include "maccontrol/mac_menu_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/server_own_folders.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/atomic_file.hpp"
#include "platform/files/content_type.hpp"
#include "platform/files/file_path.hpp"
#include "platform/random/uuid.hpp"
#include "platform/text/characters.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

constexpr int maximumNameNumber = 9999;

// Characters a file name keeps besides letters, marks and digits.
bool isKeptPunctuation(std::string_view character) {
    return character == " " || character == "-" || character == "_" || character == "." || character == "(" ||
           character == ")";
}

bool isTrimmedAtEnds(char c) { return c == '.' || c == ' ' || c == '-' || c == '_'; }

// Every non-overlapping "--", from the left, made "-".
std::string collapsedDoubleHyphens(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        result += text[i];
        if (text[i] == '-' && i + 1 < text.size() && text[i + 1] == '-') ++i;
    }
    return result;
}

// The part after the last "." of a name that does not start with it.
std::size_t extensionDot(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 || dot + 1 == name.size() ? std::string_view::npos : dot;
}

// Whether any directory entry holds the path, a dangling link included. An
// entry that cannot be examined counts as free: publishing it reports why.
bool entryExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::string numberedName(std::string_view filename, int number) {
    if (number == 1) return std::string(filename);
    const std::size_t dot = extensionDot(filename);
    if (dot == std::string_view::npos) return std::string(filename) + " " + std::to_string(number);
    return std::string(filename.substr(0, dot)) + " " + std::to_string(number) + std::string(filename.substr(dot));
}

// Whether the folder, once its missing parts are created, lies in the
// server's own folders: its nearest existing ancestor is judged where it
// really is (links followed), the missing rest appended by text.
bool destinationIsServerOwn(const std::string& folder) {
    std::filesystem::path existing = folder;
    std::filesystem::path rest;
    while (true) {
        if (const auto resolved = platform::resolvedItemPath(existing.string())) {
            const auto path = (std::filesystem::path(*resolved) / rest).lexically_normal();
            return isInsideServerOwnFolders(platform::standardizedPathText(path.string()));
        }
        if (!existing.has_relative_path()) return true;  // not even the root: nothing to judge by
        rest = existing.filename() / rest;
        existing = existing.parent_path();
    }
}

// The folder as a place to save into: refused when it is in the server's own
// folders or is something other than a folder, created when missing.
void prepareDestination(const std::string& folder) {
    if (destinationIsServerOwn(folder)) throw MacMenuError(Case::fileTransferDestinationUnavailable, folder);
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) throw MacMenuError(Case::fileTransferDestinationUnavailable, folder);
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::system_error(error, folder);
}

// The device-facing text of a failure to save the file name into folder.
std::string saveFailureDescription(const std::string& folder, const std::string& name, std::error_code error) {
    const std::string file = "“" + name + "”";
    const std::string folderName = "“" + platform::lastPathComponent(folder) + "”";
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system) {
        return "You don’t have permission to save the file " + file + " in the folder " + folderName + ".";
    }
    if (error == std::errc::no_space_on_device || error.value() == EDQUOT) {
        return "The file " + file + " couldn’t be saved because there isn’t enough space.";
    }
    return "The file " + file + " couldn’t be saved in the folder " + folderName + ": " + error.message() + ".";
}

}  // namespace

std::string MacMenuController::sanitizedFilename(std::string_view name) {
    const std::string lastComponent = platform::lastPathComponent(name);
    std::string replaced;
    for (const std::string_view character : platform::characters(lastComponent)) {
        const bool kept = isKeptPunctuation(character) || platform::hasLetterMarkOrDigit(character);
        replaced += kept ? character : std::string_view("-");
    }
    const std::string collapsed = collapsedDoubleHyphens(replaced);
    std::size_t first = 0;
    std::size_t last = collapsed.size();
    while (first < last && isTrimmedAtEnds(collapsed[first])) ++first;
    while (last > first && isTrimmedAtEnds(collapsed[last - 1])) --last;
    if (first == last) return "File-" + platform::Uuid::random().uuidString;
    return collapsed.substr(first, last - first);
}

std::string MacMenuController::defaultTransferFilename(const MenuWorkflowStep& step) {
    const std::string timestamp = localTimestamp(desktop_.clock().now());
    if (step.fileTransferSource == FileTransferSource::photo) return "Photo-" + timestamp + ".jpg";
    return "File-" + timestamp;
}

std::string MacMenuController::transferFilename(const MenuWorkflowStep& step) {
    std::string raw;
    for (const auto* candidate : {&step.fileTransferFilename, &step.fileTransferOriginalFilename}) {
        if (*candidate) raw = platform::trimWhitespaceAndNewlines(**candidate);
        if (!raw.empty()) break;
    }
    std::string name = sanitizedFilename(raw.empty() ? defaultTransferFilename(step) : raw);
    if (extensionDot(name) == std::string::npos && step.fileTransferContentType) {
        const std::string_view extension = platform::preferredExtensionForMIMEType(*step.fileTransferContentType);
        if (!extension.empty()) name += "." + std::string(extension);
    }
    return name;
}

std::string MacMenuController::transferDestinationFolder(const MenuWorkflowStep& step,
                                                         const std::string& defaultFolder) {
    const std::string typed = step.folderPath ? platform::trimWhitespaceAndNewlines(*step.folderPath) : std::string();
    return typed.empty() ? defaultFolder : fileURL(typed);
}

MacMenuController::UniqueFileName MacMenuController::uniqueFileURL(const std::string& folder,
                                                                   const std::string& filename, int firstNumber) {
    for (int number = std::max(firstNumber, 1); number <= maximumNameNumber; ++number) {
        std::string url = platform::appendingPathComponent(folder, numberedName(filename, number));
        if (!entryExists(url)) return {std::move(url), number};
    }
    throw MacMenuError(Case::fileTransferFailed, "Too many files with the same name.");
}

RemoteTransferredFile MacMenuController::saveTransferredFile(const MenuWorkflowStep& step,
                                                             const std::string& destination) {
    return saveTransferredFile(step, destination, {});
}

RemoteTransferredFile MacMenuController::saveTransferredFile(
    const MenuWorkflowStep& step, const std::string& destination,
    const std::function<void(const std::string&)>& beforePublish) {
    if (!step.fileTransferData || step.fileTransferData->empty()) throw MacMenuError(Case::fileTransferRequired);
    const Data& data = *step.fileTransferData;
    if (data.size() > static_cast<std::uint64_t>(HalvardineProtocol::maximumFileTransferByteCount)) {
        throw MacMenuError(Case::fileTransferTooLarge);
    }
    const std::string folder = transferDestinationFolder(step, destination);
    const std::string name = transferFilename(step);
    try {
        prepareDestination(folder);
        platform::UnpublishedFile file(folder, {reinterpret_cast<const char*>(data.data()), data.size()});
        for (int number = 1;;) {
            UniqueFileName candidate = uniqueFileURL(folder, name, number);
            if (beforePublish) beforePublish(candidate.url);
            const std::error_code error = file.publish(candidate.url);
            if (!error) {
                return {platform::Uuid::random().uuidString, step.title, platform::lastPathComponent(candidate.url),
                        std::move(candidate.url)};
            }
            // Taken since it was checked: the next number.
            if (error != std::errc::file_exists) throw std::system_error(error, candidate.url);
            number = candidate.number + 1;
        }
    } catch (const std::system_error& error) {
        throw MacMenuError(Case::fileTransferFailed, saveFailureDescription(folder, name, error.code()));
    }
}

}  // namespace zentrabo
