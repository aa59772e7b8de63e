// The server's own settings: the receive folder, the login item, the
// permissions and the listener restart.
#include <filesystem>
#include <string>
#include <system_error>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "platform/desktop/login_item.hpp"
#include "server/halvardine_server.hpp"
#include "server/files/receive_folder.hpp"
#include "server/permissions/permission_monitor.hpp"

namespace zentrabo {

void runFolder(TerminalContext& context, std::string_view arguments) {
    auto& folder = context.receiveFolder;
    if (arguments == "default") {
        if (const std::error_code error = folder.resetFileReceiveFolder()) return context.write(notSavedText(error));
        context.write("Receive folder reset to " + *folder.fileReceiveFolderDisplayPath());
    } else if (arguments == "open") {
        const std::string& shown = *folder.fileReceiveFolderDisplayPath();
        std::error_code ignored;
        if (!std::filesystem::is_directory(folder.fileReceiveFolderURL(), ignored)) {
            context.write("The receive folder " + shown + " does not exist yet; the first received file makes it.");
            return;
        }
        if (const auto opened = folder.openFileReceiveFolder(); !opened.ok) {
            return context.write("Could not open the receive folder: " + echoed(opened.error, serverTextLength));
        }
        context.write("Opened the receive folder " + shown);
    } else if (arguments.starts_with('/') || arguments == "~" || arguments.starts_with("~/")) {
        // A relative path would depend on where the server was started.
        if (const std::error_code error = folder.chooseFileReceiveFolder(arguments)) {
            return context.write(notSavedText(error));
        }
        context.write("Receive folder: " + echoed(*folder.fileReceiveFolderDisplayPath(), serverTextLength));
    } else {
        context.reportMalformed("folder", "give an absolute path (or one under ~/), \"default\" or \"open\"");
    }
}

void runLoginItem(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("login-item", arguments)) return;
    auto& permissions = context.permissions;
    const bool registering = *permissions.loginItemStatus() != platform::LoginItemStatus::enabled;
    const auto replaced = permissions.loginItemOtherProgram();
    permissions.toggleLoginItem();
    const auto status = *permissions.loginItemStatus();
    context.write("Login item toggled; its status is now " +
                  loginItemDescription(status, permissions.loginItemOtherProgram()) + ".");
    if (!registering || status != platform::LoginItemStatus::enabled) return;
    if (replaced) context.write("It replaced the entry that started " + echoed(*replaced, serverTextLength) + ".");
    if (const auto note = permissions.loginItemRegistrationNote()) context.write(*note + ".");
}

void runRequest(TerminalContext& context, std::string_view arguments) {
    auto& permissions = context.permissions;
    std::string_view name;
    bool granted = false;
    if (arguments == "accessibility") {
        permissions.requestAccessibilityAccess();
        name = "Accessibility";
        granted = *permissions.hasAccessibilityAccess();
    } else if (arguments == "screen-recording") {
        permissions.requestScreenRecordingAccess();
        name = "Screen recording";
        granted = *permissions.hasScreenRecordingAccess();
    } else {
        return context.reportMalformed("request", "expected accessibility or screen-recording");
    }
    context.write(std::string(name) + " access requested: " + std::string(grantedText(granted)) +
                  " for now; checked again in 1, 4 and 12 seconds.");
    if (arguments == "accessibility") {
        if (const auto note = permissions.accessibilityRequestNote(); !note.empty()) context.write(note);
    }
}

void runRestart(TerminalContext& context, std::string_view arguments) {
    if (!context.takesNoArguments("restart", arguments)) return;
    context.server.restart();
    context.write("Restarting the listener; \"status\" shows its port once it is ready.");
}

}  // namespace zentrabo
