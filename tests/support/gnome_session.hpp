#pragma once
// The tests' GNOME Wayland session (scripts/test-gnome-session.sh), started
// once for the suite with buses, a runtime folder and a home of its own. A
// test whose fixture derives from GnomeSessionTest joins it: the program's
// environment becomes the session's (its runtime folder, session bus and
// Wayland display), so what the test starts (the server, the test
// application) runs in it. Where the script set ZENTRABO_REQUIRE_GNOME=1, a
// missing session fails the test; elsewhere it skips.
//
// The witness reads the shell's own window list (org.gnome.Shell.Introspect,
// which the test-only extension's unsafe mode opens), never our extension.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "scoped_environment.hpp"
#include "server_identity.hpp"

namespace zentrabo::testing {

inline constexpr const char* kGnomeSessionFolderVariable = "ZENTRABO_TEST_GNOME_FOLDER";

struct GnomeSession {
    std::filesystem::path runtime;
    std::string waylandDisplay;
    std::string x11Display;  // XWayland's
    std::string xauthority;
};

inline std::optional<GnomeSession> gnomeSession() {
    const char* folder = std::getenv(kGnomeSessionFolderVariable);
    const char* wayland = std::getenv("ZENTRABO_TEST_GNOME_WAYLAND_DISPLAY");
    const char* x11 = std::getenv("ZENTRABO_TEST_GNOME_X11_DISPLAY");
    const char* xauthority = std::getenv("ZENTRABO_TEST_GNOME_XAUTHORITY");
    if (!folder || !wayland || !x11 || !xauthority) return std::nullopt;
    GnomeSession session{std::filesystem::path(folder) / "runtime", wayland, x11, xauthority};
    std::error_code error;
    if (!std::filesystem::exists(session.runtime / session.waylandDisplay, error)) return std::nullopt;
    return session;
}

// The environment of the session's clients, as a login in it would have.
inline void joinGnomeSession() {
    const auto session = gnomeSession();
    if (!session) {
        if (std::getenv("ZENTRABO_REQUIRE_GNOME") != nullptr) {
            FAIL() << "the tests' GNOME session is missing (see namespace-logs/gnome-shell.log)";
        }
        GTEST_SKIP() << "no GNOME session (run the suite through scripts/run-tests-in-namespace.sh)";
    }
    static std::once_flag joined;
    std::call_once(joined, [&] {
        setenv("XDG_RUNTIME_DIR", session->runtime.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (session->runtime / "bus").string()).c_str(), 1);
        setenv("WAYLAND_DISPLAY", session->waylandDisplay.c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        setenv("XDG_SESSION_TYPE", "wayland", 1);
        setenv("GDK_BACKEND", "wayland", 1);
        unsetenv("DISPLAY");
        unsetenv("PULSE_SERVER");
        useServerIdentity();
    });
}

// What starts in this scope is an X11 client of the session's XWayland.
inline ScopedEnvironment asXWaylandClient(const GnomeSession& session) {
    return ScopedEnvironment({{"DISPLAY", session.x11Display},
                              {"XAUTHORITY", session.xauthority},
                              {"GDK_BACKEND", "x11"},
                              {"WAYLAND_DISPLAY", std::nullopt}});
}

// One window as the shell itself lists it.
struct WitnessedWindow {
    std::string title;
    std::string applicationID;  // "org.zentrabo.TestApp.desktop", or "window:N"
    std::string windowClass;
    bool hasFocus = false;
    bool isWayland = false;
};

// The shell's windows by id; none when the shell does not answer.
inline std::optional<std::map<std::uint64_t, WitnessedWindow>> witnessedShellWindows() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return std::nullopt;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.gnome.Shell", "/org/gnome/Shell/Introspect", "org.gnome.Shell.Introspect", "GetWindows", nullptr,
        G_VARIANT_TYPE("(a{ta{sv}})"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        ADD_FAILURE() << "the shell's window list: " << error->message;
        g_clear_error(&error);
        return std::nullopt;
    }
    std::map<std::uint64_t, WitnessedWindow> windows;
    GVariantIter* iterator = nullptr;
    g_variant_get(reply, "(a{ta{sv}})", &iterator);
    guint64 id = 0;
    GVariant* properties = nullptr;
    while (g_variant_iter_next(iterator, "{t@a{sv}}", &id, &properties)) {
        WitnessedWindow window;
        const gchar* text = nullptr;
        if (g_variant_lookup(properties, "title", "&s", &text)) window.title = text;
        if (g_variant_lookup(properties, "app-id", "&s", &text)) window.applicationID = text;
        if (g_variant_lookup(properties, "wm-class", "&s", &text)) window.windowClass = text;
        gboolean focus = FALSE;
        g_variant_lookup(properties, "has-focus", "b", &focus);
        window.hasFocus = focus;
        guint32 clientType = 1;
        g_variant_lookup(properties, "client-type", "u", &clientType);
        window.isWayland = clientType == 0;
        windows[id] = std::move(window);
        g_variant_unref(properties);
    }
    g_variant_iter_free(iterator);
    g_variant_unref(reply);
    return windows;
}

// The shell's answer to a piece of its own JavaScript (unsafe mode); none
// when it fails.
inline std::optional<std::string> shellEvaluation(const std::string& code) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return std::nullopt;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval",
                                                  g_variant_new("(s)", code.c_str()), G_VARIANT_TYPE("(bs)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply) return std::nullopt;
    gboolean ok = FALSE;
    const gchar* result = nullptr;
    g_variant_get(reply, "(b&s)", &ok, &result);
    std::optional<std::string> answer;
    if (ok) answer = result;
    g_variant_unref(reply);
    return answer;
}

inline std::string shellWindowWithTitle(const std::string& title) {
    return "global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() === '" + title + "')";
}

// The frame of the window with that title as the shell places it; none when
// it has no such window.
inline std::optional<std::array<int, 4>> witnessedFrame(const std::string& title) {
    const auto answer = shellEvaluation(
        "JSON.stringify((w => { const r = w.get_frame_rect(); "
        "return [r.x, r.y, r.width, r.height]; })(" +
        shellWindowWithTitle(title) + "))");
    std::array<int, 4> frame{};
    if (!answer || std::sscanf(answer->c_str(), "\"[%d,%d,%d,%d]\"", &frame[0], &frame[1], &frame[2], &frame[3]) != 4) {
        return std::nullopt;
    }
    return frame;
}

// Brings the window with that title forward as a click on it would, and
// waits (at most 5 s) until the shell has given it the focus. Activation is
// not done when the call returns, and the shell ignores it for a window it
// has not shown yet (a window just mapped takes the focus after it), so it
// is asked again every half second until the focus is there.
inline bool shellActivates(const std::string& title) {
    const std::string activate = shellWindowWithTitle(title) + ".activate(global.display.get_current_time_roundtrip())";
    const std::string focused = "(w => w !== null && w.get_title() === '" + title + "')(global.display.focus_window)";
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (attempt % 5 == 0 && !shellEvaluation(activate)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (shellEvaluation(focused) == "true") return true;
    }
    return false;
}

class GnomeSessionTest : public ::testing::Test {
protected:
    void SetUp() override { joinGnomeSession(); }
};

}  // namespace zentrabo::testing
