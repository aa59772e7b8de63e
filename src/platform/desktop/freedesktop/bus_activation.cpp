#include "platform/desktop/freedesktop/bus_activation.hpp"

#include <dbus/dbus.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace zentrabo::platform {

namespace {

struct ConnectionClose {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionClose>;
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// Frees the error's texts, whatever happens.
struct BusError {
    DBusError error;
    BusError() { dbus_error_init(&error); }
    ~BusError() { dbus_error_free(&error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
};

std::string busName(const std::string& desktopID) {
    constexpr std::string_view suffix = ".desktop";
    if (desktopID.size() <= suffix.size() || !desktopID.ends_with(suffix)) return {};
    return desktopID.substr(0, desktopID.size() - suffix.size());
}

std::string objectPath(const std::string& name) {
    std::string path = "/" + name;
    for (char& c : path) {
        if (c == '.') c = '/';
        if (c == '-') c = '_';
    }
    return path;
}

int milliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
}

// Opens a private connection to the session bus named by the environment,
// introduced to the bus by the deadline; none without one. libdbus would
// otherwise try to start a bus, and wait for its welcome without a bound.
Connection sessionBus(std::chrono::steady_clock::time_point deadline) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    // An autolaunch address would have libdbus run a helper program.
    if (!address || !*address || std::string_view(address).find("autolaunch:") != std::string_view::npos) {
        return nullptr;
    }
    BusError error;
    Connection connection(dbus_connection_open_private(address, &error.error));
    if (!connection) return nullptr;
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    Message hello(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"));
    if (!hello) return nullptr;
    Message welcome(
        dbus_connection_send_with_reply_and_block(connection.get(), hello.get(), milliseconds(deadline), &error.error));
    if (!welcome) return nullptr;
    return connection;
}

// The a{sv} platform data with the startup id.
bool appendPlatformData(DBusMessageIter& arguments, const std::string& startupID) {
    DBusMessageIter dictionary, item, variant;
    const char* key = "desktop-startup-id";
    const char* value = startupID.c_str();
    return dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary) &&
           dbus_message_iter_open_container(&dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &item) &&
           dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &key) &&
           dbus_message_iter_open_container(&item, DBUS_TYPE_VARIANT, "s", &variant) &&
           dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value) &&
           dbus_message_iter_close_container(&item, &variant) &&
           dbus_message_iter_close_container(&dictionary, &item) &&
           dbus_message_iter_close_container(&arguments, &dictionary);
}

bool appendURIs(DBusMessageIter& arguments, const std::vector<std::string>& uris) {
    DBusMessageIter array;
    if (!dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "s", &array)) return false;
    for (const auto& uri : uris) {
        const char* text = uri.c_str();
        if (!dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &text)) return false;
    }
    return dbus_message_iter_close_container(&arguments, &array);
}

}  // namespace

bool activateOnSessionBus(const DesktopEntry& entry, const std::vector<LaunchTarget>& targets,
                          const std::string& startupID, std::chrono::milliseconds timeout) {
    const std::string name = busName(entry.id);
    if (name.empty() || !dbus_validate_bus_name(name.c_str(), nullptr)) return false;
    const std::string path = objectPath(name);
    if (!dbus_validate_path(path.c_str(), nullptr) || !dbus_validate_utf8(startupID.c_str(), nullptr)) return false;
    std::vector<std::string> uris;
    for (const auto& target : targets) {
        uris.push_back(targetURL(target));
        // libdbus aborts the process on a string that is not UTF-8.
        if (!dbus_validate_utf8(uris.back().c_str(), nullptr)) return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto connection = sessionBus(deadline);
    if (!connection) return false;
    Message call(dbus_message_new_method_call(name.c_str(), path.c_str(), "org.freedesktop.Application",
                                              targets.empty() ? "Activate" : "Open"));
    if (!call) return false;
    DBusMessageIter arguments;
    dbus_message_iter_init_append(call.get(), &arguments);
    if (!uris.empty() && !appendURIs(arguments, uris)) return false;
    if (!appendPlatformData(arguments, startupID)) return false;
    BusError error;
    Message reply(
        dbus_connection_send_with_reply_and_block(connection.get(), call.get(), milliseconds(deadline), &error.error));
    return reply != nullptr;
}

}  // namespace zentrabo::platform
