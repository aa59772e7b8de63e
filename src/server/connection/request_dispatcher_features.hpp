#pragma once

#include "maccontrol/desktop_controller.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/files/receive_folder.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "server/reply_builder.hpp"
#include "server/streams/screen_streams.hpp"

namespace zentrabo {

// The features that answer requests; every one must outlive the dispatcher.
struct RequestDispatcherFeatures {
    PermissionMonitor& permissions;
    ClientAuthorizer& authorization;
    ExtraAuthorization& extraAuthorization;
    PairingWindow& pairing;
    ReceiveFolder& receiveFolder;
    DesktopController& controller;
    const ReplyBuilder& replies;
    // The stream server that "screenStream" hands its connection to.
    ScreenStreams& streams;
};

}  // namespace zentrabo
