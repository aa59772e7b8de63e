#pragma once
// A desktop session of the test's own: an X server, a session bus, a window
// manager and the accessibility bus, for tests that end and restart parts of
// it under the server while other test programs use the shared session
// (whose applications would otherwise follow the accessibility bus's
// address to the test's).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/scoped_environment.hpp"
#include "support/test_application.hpp"
#include "support/x11_witness.hpp"
#include "x11/own_x_server.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {

class OwnAccessibilitySession {
public:
    // Starts it in the folder, which must exist; see started().
    explicit OwnAccessibilitySession(std::filesystem::path folder) : folder_(std::move(folder)) {
        if (!x_->display()) return;
        // A bus without activation: a launcher is started by the test
        // alone, never by a client asking for the name while it is away.
        std::ofstream(folder_ / "bus.conf")
            << "<busconfig><type>session</type><listen>" << busAddress()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy>"
               "</busconfig>";
        bus_ = spawnProgram(
            {"/usr/bin/dbus-daemon", "--config-file=" + (folder_ / "bus.conf").string(), "--nofork", "--nosyslog"});
        if (!eventually([&] { return std::filesystem::exists(folder_ / "bus"); })) return;
        if (!startWindowManager()) return;
        // The launcher reads its switch from a settings file of the folder.
        std::filesystem::create_directories(folder_ / "glib-2.0/settings");
        std::ofstream(folder_ / "glib-2.0/settings/keyfile")
            << "[org/gnome/desktop/interface]\ntoolkit-accessibility=true\n";
        started_ = startAccessibilityBus();
    }
    ~OwnAccessibilitySession() {
        stopAccessibilityBus();
        end(windowManager_);
        end(bus_);
    }
    OwnAccessibilitySession(const OwnAccessibilitySession&) = delete;
    OwnAccessibilitySession& operator=(const OwnAccessibilitySession&) = delete;

    bool started() const { return started_; }

    // What a process of the session is started with.
    std::vector<ScopedEnvironment::Setting> environment() const {
        return {{"DISPLAY", x_->name()}, {"DBUS_SESSION_BUS_ADDRESS", busAddress()}, {"AT_SPI_BUS_ADDRESS", {}}};
    }

    // The X server ends (its clients with it) and starts again on the same
    // display, the window manager and the accessibility bus with it; true
    // once they answer.
    bool restartXServer() {
        stopAccessibilityBus();
        end(windowManager_);
        const int display = *x_->display();
        x_.reset();
        x_.emplace(display);
        return x_->display() == display && startWindowManager() && startAccessibilityBus();
    }

    // The launcher and its bus end (the bus's applications lose it).
    void stopAccessibilityBus() { end(launcher_); }

    // True once the launcher answers with the bus's address (10 s at most).
    bool startAccessibilityBus() {
        stopAccessibilityBus();
        launcher_ = spawnProgram({"/usr/bin/env", "DISPLAY=" + x_->name(), "DBUS_SESSION_BUS_ADDRESS=" + busAddress(),
                                  "XDG_RUNTIME_DIR=" + folder_.string(), "GSETTINGS_BACKEND=keyfile",
                                  "XDG_CONFIG_HOME=" + folder_.string(), "/usr/libexec/at-spi-bus-launcher",
                                  "--launch-immediately"});
        return eventually([&] {
            return witness(
                       "dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                       "org.a11y.Bus.GetAddress")
                       .find("unix:") != std::string::npos;
        });
    }

private:
    bool startWindowManager() {
        windowManager_ = spawnProgram({"/usr/bin/env", "DISPLAY=" + x_->name(), "XDG_CACHE_HOME=" + folder_.string(),
                                       "/usr/bin/openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"});
        return eventually([&] { return !witness("xprop -root -notype _NET_SUPPORTING_WM_CHECK").empty(); });
    }

    std::string busAddress() const { return "unix:path=" + (folder_ / "bus").string(); }

    // What the command prints when run in the session.
    std::string witness(const std::string& command) const {
        return witnessOutput("env DISPLAY=" + x_->name() + " DBUS_SESSION_BUS_ADDRESS=" + busAddress() + " " + command +
                             " 2>/dev/null");
    }

    static void end(pid_t& pid) {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::filesystem::path folder_;
    std::optional<OwnXServer> x_{std::in_place};
    pid_t bus_ = -1;
    pid_t windowManager_ = -1;
    pid_t launcher_ = -1;
    bool started_ = false;
};

}  // namespace zentrabo::testing
