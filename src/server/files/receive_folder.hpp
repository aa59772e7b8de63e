#pragma once
// The folder that received files are saved into, as the user chooses and
// sees it, and the "fileResource" listings of the file browser.
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include <asio/any_io_executor.hpp>

#include "platform/desktop/desktop.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "server/files/remote_file_resource.hpp"
#include "server/published.hpp"

namespace zentrabo {

class ReceiveFolder {
public:
    // Every collaborator must outlive the folder; listings answer on mainLoop.
    ReceiveFolder(platform::Clock& clock, asio::any_io_executor mainLoop, platform::UserDefaults& defaults,
                  platform::Desktop& desktop);
    ReceiveFolder(const ReceiveFolder&) = delete;
    ReceiveFolder& operator=(const ReceiveFolder&) = delete;

    // The receive folder in its short form ("~/Downloads/Zentrabo").
    const Published<std::string>& fileReceiveFolderDisplayPath() const { return fileReceiveFolderDisplayPath_; }

    // The folder received files are saved into, read afresh at every call.
    std::string fileReceiveFolderURL() const;
    // Stores the folder the user named (the terminal's "folder <path>") and
    // refreshes the display path. A blank path (std::errc::invalid_argument)
    // or one that cannot be saved changes nothing and returns the error.
    std::error_code chooseFileReceiveFolder(std::string_view path);
    // Back to the default folder ("folder default"); the error, and no
    // change, when that cannot be saved.
    std::error_code resetFileReceiveFolder();
    // Shows the folder with the workspace ("folder open"); a folder that does
    // not exist yet shows nothing. The workspace's outcome: the caller says
    // whether it opened.
    platform::OpenResult openFileReceiveFolder();
    // Publishes the display path of the folder when it changed.
    void refreshFileReceiveFolderDisplayPath();

    // The "fileResource" request: the listing runs on the file-resource pool
    // under its 30 s limit; completion runs once, on the main loop.
    void remoteFileResource(RemoteFileResourceQuery query, RemoteFileResourceCompletion completion);

private:
    platform::Clock& clock_;
    asio::any_io_executor mainLoop_;
    platform::UserDefaults& defaults_;
    platform::Desktop& desktop_;
    Published<std::string> fileReceiveFolderDisplayPath_;
    // Created on the first "fileResource" request.
    std::unique_ptr<RemoteFileResourceRequests> fileResourceRequests_;
};

}  // namespace zentrabo
