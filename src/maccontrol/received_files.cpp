// Files a device sends in a workflow, saved under safe names of their own.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "maccontrol/file_browser.hpp"
#include "maccontrol/local_timestamp.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/server_own_folders.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/atomic_file.hpp"
#include "platform/files/content_type.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/item_descriptor.hpp"
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

// Whether any entry of the folder holds the name, a dangling link included.
// An entry that cannot be examined counts as free: publishing it reports why.
bool entryExists(int folder, const std::string& name) {
    struct stat status {};
    return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string numberedName(std::string_view filename, int number) {
    if (number == 1) return std::string(filename);
    const std::size_t dot = extensionDot(filename);
    if (dot == std::string_view::npos) return std::string(filename) + " " + std::to_string(number);
    return std::string(filename.substr(0, dot)) + " " + std::to_string(number) + std::string(filename.substr(dot));
}

MacMenuError unavailable(const std::string& folder) {
    return MacMenuError(Case::fileTransferDestinationUnavailable, folder);
}

// The folder as a place to save into, opened and judged once: refused when
// it is something other than a folder, or is (or would be, once its missing
// parts are made) the server's own; the missing parts are then made relative
// to the nearest existing folder's descriptor, and the folder they end in is
// judged again. Everything after happens relative to the descriptor
// answered, whatever the folder's path leads to meanwhile.
platform::FileDescriptor openDestination(const std::string& folder,
                                         const std::optional<std::filesystem::path>& browsableDataFolder) {
    std::error_code error;
    auto nearest = platform::locateNearestFolder(folder, error);
    if (!nearest) {
        if (error == std::errc::not_a_directory) throw unavailable(folder);
        throw std::system_error(error, folder);
    }
    platform::FileDescriptor destination = std::move(nearest->folder);
    if (isServerOwnItem(destination.get(), browsableDataFolder)) throw unavailable(folder);
    if (!nearest->missing.empty()) {
        // Where the new folders would be: the nearest folder where it really
        // is, the missing rest appended by text.
        std::filesystem::path future = platform::itemPath(destination.get()).value_or("");
        if (future.empty()) throw unavailable(folder);
        for (const std::string& part : nearest->missing) future /= part;
        if (isInsideServerOwnFolders(platform::standardizedPathText(future.lexically_normal().string()),
                                     browsableDataFolder)) {
            throw unavailable(folder);
        }
        destination = platform::makeFolders(destination.get(), nearest->missing, 0777, error);
        if (!destination) throw std::system_error(error, folder);
        if (isServerOwnItem(destination.get(), browsableDataFolder)) throw unavailable(folder);
    }
    // Readable, so that the folder can be flushed after the file is named.
    platform::FileDescriptor opened = platform::reopenItem(destination.get(), O_RDONLY | O_DIRECTORY, error);
    if (!opened) throw std::system_error(error, folder);
    return opened;
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

std::string DesktopController::sanitizedFilename(std::string_view name) {
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

std::string DesktopController::defaultTransferFilename(const MenuWorkflowStep& step) {
    const std::string timestamp = localTimestamp(desktop_.clock().now());
    if (step.fileTransferSource == FileTransferSource::photo) return "Photo-" + timestamp + ".jpg";
    return "File-" + timestamp;
}

std::string DesktopController::transferFilename(const MenuWorkflowStep& step) {
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

std::string DesktopController::transferDestinationFolder(const MenuWorkflowStep& step,
                                                         const std::string& defaultFolder) {
    const std::string typed = step.folderPath ? platform::trimWhitespaceAndNewlines(*step.folderPath) : std::string();
    return typed.empty() ? defaultFolder : fileURL(typed);
}

DesktopController::UniqueFileName DesktopController::uniqueFileURL(int folderDescriptor, const std::string& folder,
                                                                   const std::string& filename, int firstNumber) {
    for (int number = std::max(firstNumber, 1); number <= maximumNameNumber; ++number) {
        const std::string name = numberedName(filename, number);
        if (!entryExists(folderDescriptor, name)) return {platform::appendingPathComponent(folder, name), number};
    }
    throw MacMenuError(Case::fileTransferFailed, "Too many files with the same name.");
}

RemoteTransferredFile DesktopController::saveTransferredFile(const MenuWorkflowStep& step,
                                                             const std::string& destination) {
    return saveTransferredFile(step, destination, {});
}

RemoteTransferredFile DesktopController::saveTransferredFile(
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
        const platform::FileDescriptor directory = openDestination(folder, desktop_.browsableDataFolder());
        platform::UnpublishedFile file(directory.get(), {reinterpret_cast<const char*>(data.data()), data.size()});
        for (int number = 1;;) {
            UniqueFileName candidate = uniqueFileURL(directory.get(), folder, name, number);
            if (beforePublish) beforePublish(candidate.url);
            const std::error_code error = file.publish(numberedName(name, candidate.number));
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
