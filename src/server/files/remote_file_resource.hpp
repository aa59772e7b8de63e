#pragma once
// The "fileResource" request: a folder listing or one file, read off the main
// loop on the file-resource pool and answered within 30 s. Touching a folder
// the system protects can block until someone answers a permission prompt;
// such a request is told so when its time is up, and the late listing's
// result is dropped.
#include "model/records/file_records.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/owned_tasks.hpp"
#include "platform/dispatch/work_pool.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace zentrabo {

// What a "fileResource" request asks for, with the request's defaults filled.
struct RemoteFileResourceQuery {
    // Absent or blank: the home folder.
    std::optional<std::string> path;
    RemoteFileSortField sortField = RemoteFileSortField::name;
    RemoteFileSortDirection sortDirection = RemoteFileSortDirection::ascending;
    bool includesHiddenFiles = false;
    bool includesFileData = true;
    // The desktop's folder in the data folder that may be browsed
    // (platform::Desktop::browsableDataFolder).
    std::optional<std::filesystem::path> browsableDataFolder = std::nullopt;
};

// The query of a "fileResource" request: its filePath, fileSortField
// ("name"), fileSortDirection ("ascending"), includesHiddenFiles (false) and
// includesFileData (true), absent fields taking the defaults shown.
RemoteFileResourceQuery fileResourceQuery(const HalvardineRequest& request);

// The listing work itself, synchronous: finds and judges the item
// (openFileBrowserItem), then returns the file (with or without its bytes)
// or the folder with its sorted entries, read through the item's descriptor
// alone. Throws the MacMenuError of the step that failed.
RemoteFileResource loadRemoteFileResource(const RemoteFileResourceQuery& query);
// The same; afterJudging runs with the item's path once the item is judged
// and before anything of it is read (tests swap what the path leads to
// there).
RemoteFileResource loadJudgedRemoteFileResource(const RemoteFileResourceQuery& query,
                                                const std::function<void(const std::string&)>& afterJudging);

// The path a timeout names: the trimmed path with a leading "~" expanded (a
// relative path stays as typed), or the home folder when blank.
std::string fileResourceTimeoutPath(const std::optional<std::string>& path);

// The resource, or the failure (a MacMenuError, or whatever else the
// listing threw).
using RemoteFileResourceResult = std::variant<RemoteFileResource, std::exception_ptr>;
using RemoteFileResourceCompletion = std::function<void(RemoteFileResourceResult)>;

// The process-wide pool "zb-file-list", created on first use
// and never destroyed: a listing stuck in the file system must not hold up
// the process's exit.
platform::GrowingWorkPool& fileResourceQueue();

class RemoteFileResourceRequests {
public:
    static constexpr double timeoutSeconds = 30.0;
    using Loader = std::function<RemoteFileResource(const RemoteFileResourceQuery&)>;

    // Listings run on pool; the timeout is a timer of clock on mainLoop, so it
    // fires however many workers are blocked. Completions run on mainLoop,
    // which must outlive this object.
    RemoteFileResourceRequests(platform::GrowingWorkPool& pool, platform::Clock& clock, asio::any_io_executor mainLoop,
                               Loader loader = loadRemoteFileResource);
    // Destroy it on the main loop: no completion runs afterwards, and a
    // listing that finishes later is dropped.
    ~RemoteFileResourceRequests() = default;
    RemoteFileResourceRequests(const RemoteFileResourceRequests&) = delete;
    RemoteFileResourceRequests& operator=(const RemoteFileResourceRequests&) = delete;

    // Starts one request; completion runs once, on the main loop: with the
    // listing, or when the listing has not answered within timeoutSeconds
    // with the failure that names the path.
    void remoteFileResource(RemoteFileResourceQuery query, RemoteFileResourceCompletion completion);

private:
    asio::awaitable<void> answer(RemoteFileResourceQuery query, RemoteFileResourceCompletion completion);

    platform::GrowingWorkPool& pool_;
    platform::Clock& clock_;
    Loader loader_;
    // Last: closed first, so no request resumes into a half-destroyed object.
    platform::OwnedTasks requests_;
};

}  // namespace zentrabo
