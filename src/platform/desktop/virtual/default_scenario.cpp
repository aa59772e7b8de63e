// The desktop a newcomer sees: a text editor, a terminal and a browser with
// real menu trees, an installed calculator, a menu-bar helper, one display.
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

ScenarioMenuItem applicationMenu(const std::string& name) {
    return submenu(name, {menuItem("About " + name), separator(), menuItem("Settings…", "cmd+,"), separator(),
                          menuItem("Hide " + name, "cmd+H"), menuItem("Hide Others", "cmd+option+H"),
                          menuItem("Show All").disabled(), separator(),
                          menuItem("Quit " + name, "cmd+Q").then(quitsApplication())});
}

ScenarioMenuItem editMenu() {
    return submenu("Edit", {menuItem("Undo", "cmd+Z"), menuItem("Redo", "cmd+shift+Z").disabled(), separator(),
                            menuItem("Cut", "cmd+X"), menuItem("Copy", "cmd+C"), menuItem("Paste", "cmd+V"),
                            menuItem("Select All", "cmd+A")});
}

ScenarioMenuItem windowMenu() {
    return submenu("Window",
                   {menuItem("Minimize", "cmd+M"), menuItem("Zoom"), separator(), menuItem("Bring All to Front")});
}

ScenarioSheet saveChangesSheet() {
    ScenarioSheet sheet;
    sheet.title = "Do you want to keep the changes made to “Untitled”?";
    sheet.message = "Your changes will be lost if you don’t keep them.";
    sheet.buttons = {{"Delete", {dismissesSheet(), closesWindow("Untitled")}}, {"Cancel", {}}, {"Keep", {}}};
    sheet.cancelButton = "Cancel";
    return sheet;
}

}  // namespace

DesktopScenario defaultDesktopScenario() {
    const std::string prefix = productIdentity().demoBundleIdentifierPrefix;
    const std::string editorID = prefix + "texteditor";
    const std::string terminalID = prefix + "terminal";
    const std::string browserID = prefix + "browser";
    const std::string calculatorID = prefix + "calculator";

    DesktopBuilder builder;
    builder.display(1, {0, 0, 1512, 982}, 2.0, "Built-in Display");

    ScenarioWindow untitled;
    untitled.title = "Untitled";
    untitled.frame = {220, 120, 760, 560};
    untitled.text = "Hello from the virtual desktop.";
    untitled.color = 0xFFFFFFFF;
    builder.application("Text Editor", editorID)
        .menu("Text Editor", applicationMenu("Text Editor").children)
        .menu("File",
              {menuItem("New", "cmd+N").then(opensWindow("Untitled 2")), menuItem("Open…", "cmd+O"),
               submenu("Open Recent",
                       {menuItem("report.txt"), menuItem("notes.md"), separator(), menuItem("Clear Menu")}),
               separator(), menuItem("Close", "cmd+W").then(opensSheet(saveChangesSheet())), menuItem("Save…", "cmd+S"),
               menuItem("Duplicate", "cmd+shift+S"), separator(), menuItem("Print…", "cmd+P").disabled()})
        .menu("Edit", editMenu().children)
        .menu("Format", {submenu("Font", {menuItem("Bold", "cmd+B"), menuItem("Italic", "cmd+I"),
                                          menuItem("Bigger", "cmd++"), menuItem("Smaller", "cmd+-")}),
                         submenu("Text", {menuItem("Align Left", "cmd+{"), menuItem("Center", "cmd+|"),
                                          menuItem("Align Right", "cmd+}")})})
        .menu("Window", windowMenu().children)
        .menu("Help", {menuItem("Text Editor Help")})
        .window(untitled);

    ScenarioWindow shell;
    shell.title = "user — bash — 80×24";
    shell.frame = {120, 80, 640, 420};
    shell.color = 0x202124FF;
    builder.application("Terminal", terminalID)
        .menu("Terminal", applicationMenu("Terminal").children)
        .menu("Shell", {menuItem("New Window", "cmd+N").then(opensWindow("user — bash — 80×24")),
                        menuItem("Close Window", "cmd+W").then(closesWindow()), separator(),
                        menuItem("Clear Scrollback", "cmd+K")})
        .menu("Edit", editMenu().children)
        .menu("View", {menuItem("Bigger", "cmd++"), menuItem("Smaller", "cmd+-"), separator(),
                       menuItem("Enter Full Screen", "control+cmd+F")})
        .menu("Window", windowMenu().children)
        .window(shell);

    ScenarioWindow page;
    page.title = "Start Page";
    page.frame = {300, 60, 1000, 720};
    page.color = 0xEEF3FAFF;
    builder.application("Browser", browserID)
        .menu("Browser", applicationMenu("Browser").children)
        .menu("File",
              {menuItem("New Window", "cmd+N").then(opensWindow("Start Page")), menuItem("Open Location…", "cmd+L"),
               separator(), menuItem("Edit Page Source").then(activatesApplication(editorID))})
        .menu("History",
              {menuItem("Back", "cmd+["), menuItem("Forward", "cmd+]").disabled(), menuItem("Home", "cmd+shift+H")})
        .menu("Window", windowMenu().children)
        .window(page)
        .tone(440, 0.2);

    builder.application("Calculator", calculatorID)
        .notRunning()
        .installedIn(ApplicationFolder::system, "Utilities")
        .menu("Calculator", applicationMenu("Calculator").children)
        .menu("View", {menuItem("Basic", "cmd+1"), menuItem("Scientific", "cmd+2")})
        .window("Calculator", {600, 300, 232, 320});

    builder.application("Clipboard Helper", prefix + "clipboardhelper")
        .policy(ActivationPolicy::accessory)
        .notInstalled();

    builder.frontmost(editorID);
    return builder.build();
}

}  // namespace zentrabo::platform
