#include "server/file_receive_folder.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo {

std::string HalvardineServer::fileReceiveFolderURL() const {
    return zentrabo::fileReceiveFolderURL(*environment_.userDefaults);
}

bool HalvardineServer::chooseFileReceiveFolder(std::string_view path) {
    if (!storeChosenFileReceiveFolder(*environment_.userDefaults, path)) return false;
    refreshFileReceiveFolderDisplayPath();
    return true;
}

void HalvardineServer::resetFileReceiveFolder() {
    zentrabo::resetFileReceiveFolder(*environment_.userDefaults);
    refreshFileReceiveFolderDisplayPath();
}

void HalvardineServer::openFileReceiveFolder() {
    (void)controller_.desktop().workspace().openFile(fileReceiveFolderURL());
}

void HalvardineServer::refreshFileReceiveFolderDisplayPath() {
    std::string displayPath = zentrabo::fileReceiveFolderDisplayPath(fileReceiveFolderURL());
    if (displayPath != *fileReceiveFolderDisplayPath_) fileReceiveFolderDisplayPath_.set(std::move(displayPath));
}

void HalvardineServer::remoteFileResource(RemoteFileResourceQuery query, RemoteFileResourceCompletion completion) {
    if (!fileResourceRequests_) {
        fileResourceRequests_ = std::make_unique<RemoteFileResourceRequests>(fileResourceQueue(), environment_.clock,
                                                                             environment_.mainLoop);
    }
    fileResourceRequests_->remoteFileResource(std::move(query), std::move(completion));
}

}  // namespace zentrabo
