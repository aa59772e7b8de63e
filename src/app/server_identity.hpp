#pragma once
// Who this program is to the platform layer; main hands it over before
// anything else runs. The names keep every folder and file that users
// already have where it is.
#include "platform/files/product_identity.hpp"

namespace zentrabo {

inline platform::ProductIdentity serverIdentity() {
    return {
        .folderName = "zentrabo",
        .programName = "zentrabo-server",
        .displayName = "Zentrabo Server",
        .description = "Makes this computer controllable from paired devices",
        .demoBundleIdentifierPrefix = "com.zentrabo.demo.",
        .selectionPropertyName = "ZENTRABO_SELECTION",
        .shellExtensionUUID = "window-control@zentrabo.org",
        .shellExtensionInterface = "org.zentrabo.Shell.Windows",
    };
}

}  // namespace zentrabo
