#include "server/files/receive_folder.hpp"

#include <utility>

#include "server/files/file_receive_folder.hpp"

namespace zentrabo {

ReceiveFolder::ReceiveFolder(platform::Clock& clock, asio::any_io_executor mainLoop, platform::UserDefaults& defaults,
                             platform::Desktop& desktop)
    : clock_(clock),
      mainLoop_(std::move(mainLoop)),
      defaults_(defaults),
      desktop_(desktop),
      fileReceiveFolderDisplayPath_(zentrabo::fileReceiveFolderDisplayPath(fileReceiveFolderURL())) {}

std::string ReceiveFolder::fileReceiveFolderURL() const { return zentrabo::fileReceiveFolderURL(defaults_); }

std::error_code ReceiveFolder::chooseFileReceiveFolder(std::string_view path) {
    if (const std::error_code error = storeChosenFileReceiveFolder(defaults_, path)) return error;
    refreshFileReceiveFolderDisplayPath();
    return {};
}

std::error_code ReceiveFolder::resetFileReceiveFolder() {
    if (const std::error_code error = zentrabo::resetFileReceiveFolder(defaults_)) return error;
    refreshFileReceiveFolderDisplayPath();
    return {};
}

platform::OpenResult ReceiveFolder::openFileReceiveFolder() {
    return desktop_.workspace().openFile(fileReceiveFolderURL());
}

void ReceiveFolder::refreshFileReceiveFolderDisplayPath() {
    std::string displayPath = zentrabo::fileReceiveFolderDisplayPath(fileReceiveFolderURL());
    if (displayPath != *fileReceiveFolderDisplayPath_) fileReceiveFolderDisplayPath_.set(std::move(displayPath));
}

void ReceiveFolder::remoteFileResource(RemoteFileResourceQuery query, RemoteFileResourceCompletion completion) {
    if (!fileResourceRequests_) {
        fileResourceRequests_ = std::make_unique<RemoteFileResourceRequests>(fileResourceQueue(), clock_, mainLoop_);
    }
    fileResourceRequests_->remoteFileResource(std::move(query), std::move(completion));
}

}  // namespace zentrabo
