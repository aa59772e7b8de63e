#include "server/files/remote_file_resource.hpp"

#include "maccontrol/file_browser.hpp"
#include "maccontrol/file_entry_order.hpp"
#include "maccontrol/mac_menu_error.hpp"
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
    const FileBrowserItem item = openFileBrowserItem(query.path);
    if (afterJudging) afterJudging(item.url);
    if (item.values.isDirectory) return folderResource(item, query);
    return query.includesFileData ? fileResourceWithData(item) : fileResourceWithoutData(item);
}

std::string fileResourceTimeoutPath(const std::optional<std::string>& path) {
    const std::string trimmed = path ? platform::trimWhitespaceAndNewlines(*path) : std::string();
    return trimmed.empty() ? platform::homeFolderPath() : platform::expandingTildeInPath(trimmed);
}

RemoteFileResourceCompletion RemoteFileResourceRequestState::finish() {
    std::lock_guard guard(lock_);
    if (didFinish_) return {};
    didFinish_ = true;
    return std::move(completion_);
}

platform::GrowingWorkPool& fileResourceQueue() {
    static auto* const pool = new platform::GrowingWorkPool("zb-file-list");
    return *pool;
}

RemoteFileResourceRequests::RemoteFileResourceRequests(platform::GrowingWorkPool& pool, platform::Clock& clock,
                                                       asio::any_io_executor mainLoop, Loader loader)
    : pool_(pool),
      clock_(clock),
      mainLoop_(mainLoop),
      loader_(std::move(loader)),
      gate_(std::make_shared<platform::MainLoopGate>(std::move(mainLoop))) {}

RemoteFileResourceRequests::~RemoteFileResourceRequests() { gate_->close(); }

void RemoteFileResourceRequests::remoteFileResource(RemoteFileResourceQuery query,
                                                    RemoteFileResourceCompletion completion) {
    auto state = std::make_shared<RemoteFileResourceRequestState>(std::move(completion));
    std::string timeoutPath = fileResourceTimeoutPath(query.path);

    pool_.post([state, gate = gate_, loader = loader_, query = std::move(query)] {
        RemoteFileResourceResult result;
        try {
            result = loader(query);
        } catch (...) {
            result = std::current_exception();
        }
        RemoteFileResourceCompletion finish = state->finish();
        if (!finish) return;  // the timeout answered already
        gate->post([finish = std::move(finish), result = std::move(result)]() mutable { finish(std::move(result)); });
    });

    // Holds the request only weakly: once the listing has answered and let go
    // of it, the timeout finds nothing to do.
    clock_.postAfter(mainLoop_, timeoutSeconds, [weakState = std::weak_ptr(state), path = std::move(timeoutPath)] {
        const auto state = weakState.lock();
        if (!state) return;
        if (RemoteFileResourceCompletion finish = state->finish()) {
            finish(std::make_exception_ptr(MacMenuError(Case::fileBrowserAccessBlocked, path)));
        }
    });
}

}  // namespace zentrabo
