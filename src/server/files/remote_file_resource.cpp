#include "server/files/remote_file_resource.hpp"

#include "maccontrol/file_browser.hpp"
#include "maccontrol/file_entry_order.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "model/task_failure.hpp"
#include "platform/dispatch/awaited_answer.hpp"
#include "platform/files/directory_listing.hpp"
#include "platform/files/file_path.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

RemoteFileResource folderResource(const FileBrowserItem& folder, const RemoteFileResourceQuery& query) {
    const std::string& url = folder.url;
    const platform::FileResourceValues& values = folder.values;
    std::vector<platform::DirectoryItem> items;
    if (const std::error_code error =
            platform::listDirectory(folder.descriptor.get(), url, query.includesHiddenFiles, items)) {
        throw MacMenuError(Case::fileBrowserReadFailed, fileErrorDescription(url, error, true));
    }
    std::vector<RemoteFileEntry> entries;
    entries.reserve(items.size());
    for (const platform::DirectoryItem& item : items) {
        if (auto entry = directoryEntry(item)) entries.push_back(std::move(*entry));
    }
    RemoteFileEntryOrder(query.sortField, query.sortDirection).sort(entries);

    RemoteFileResource resource;
    resource.kind = RemoteFileResourceKind::directory;
    resource.name = folderDisplayName(url);
    resource.path = url;
    resource.parentPath = parentPath(url);
    if (!values.contentType.empty()) resource.contentType = std::string(values.contentType);
    resource.modificationDate = values.contentModificationDate;
    resource.entries = std::move(entries);
    return resource;
}

}  // namespace

RemoteFileResourceQuery fileResourceQuery(const HalvardineRequest& request) {
    RemoteFileResourceQuery query;
    query.path = request.filePath;
    query.sortField = request.fileSortField.value_or(RemoteFileSortField::name);
    query.sortDirection = request.fileSortDirection.value_or(RemoteFileSortDirection::ascending);
    query.includesHiddenFiles = request.includesHiddenFiles.value_or(false);
    query.includesFileData = request.includesFileData.value_or(true);
    return query;
}

RemoteFileResource loadRemoteFileResource(const RemoteFileResourceQuery& query) {
    return loadJudgedRemoteFileResource(query, {});
}

RemoteFileResource loadJudgedRemoteFileResource(const RemoteFileResourceQuery& query,
                                                const std::function<void(const std::string&)>& afterJudging) {
    const FileBrowserItem item = openFileBrowserItem(query.path, query.browsableDataFolder);
    if (afterJudging) afterJudging(item.url);
    if (item.values.isDirectory) return folderResource(item, query);
    return query.includesFileData ? fileResourceWithData(item) : fileResourceWithoutData(item);
}

std::string fileResourceTimeoutPath(const std::optional<std::string>& path) {
    const std::string trimmed = path ? platform::trimWhitespaceAndNewlines(*path) : std::string();
    return trimmed.empty() ? platform::homeFolderPath() : platform::expandingTildeInPath(trimmed);
}

platform::GrowingWorkPool& fileResourceQueue() {
    static auto* const pool = new platform::GrowingWorkPool("zb-file-list");
    return *pool;
}

RemoteFileResourceRequests::RemoteFileResourceRequests(platform::GrowingWorkPool& pool, platform::Clock& clock,
                                                       asio::any_io_executor mainLoop, Loader loader)
    : pool_(pool), clock_(clock), loader_(std::move(loader)), requests_(std::move(mainLoop)) {}

void RemoteFileResourceRequests::remoteFileResource(RemoteFileResourceQuery query,
                                                    RemoteFileResourceCompletion completion) {
    requests_.spawn(answer(std::move(query), std::move(completion)), LogTaskFailure("File resource request failed: "));
}

asio::awaitable<void> RemoteFileResourceRequests::answer(RemoteFileResourceQuery query,
                                                         RemoteFileResourceCompletion completion) {
    std::string timeoutPath = fileResourceTimeoutPath(query.path);
    // The listing's failure is a result like its resource, so the only
    // throw that ends the wait is the owner's close.
    auto listing = platform::awaitPosted<RemoteFileResourceResult>(
        [&pool = pool_](std::function<void()> handler) { pool.post(std::move(handler)); },
        [loader = loader_, query = std::move(query)]() -> RemoteFileResourceResult {
            try {
                return loader(query);
            } catch (...) {
                return std::current_exception();
            }
        });
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    auto listed = platform::withinDeadline(clock_, timeoutSeconds, std::move(listing));
    auto result = co_await std::move(listed);
    if (!result) {
        // The listing may still be held up in the file system; whatever it
        // gives later is dropped.
        result = std::make_exception_ptr(MacMenuError(Case::fileBrowserAccessBlocked, timeoutPath));
    }
    completion(std::move(*result));
}

}  // namespace zentrabo
