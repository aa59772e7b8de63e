#include "platform/desktop/gnome/gnome_bus.hpp"

#include <gio/gunixfdlist.h>

#include <future>
#include <utility>

#include "platform/desktop/atspi/session_bus_address.hpp"

namespace zentrabo::platform {

namespace {

std::string takeError(GError* error) {
    std::string text = error ? error->message : "no reply";
    if (error) g_error_free(error);
    return text;
}

struct Connecting {
    std::promise<std::pair<GDBusConnection*, std::string>> done;
};

void connected(GObject*, GAsyncResult* result, gpointer data) {
    auto* connecting = static_cast<Connecting*>(data);
    GError* error = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_finish(result, &error);
    connecting->done.set_value({connection, connection ? std::string() : takeError(error)});
}

void deliverSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                   gpointer data) {
    (*static_cast<GnomeBus::SignalHandler*>(data))(parameters);
}

void releaseHandler(gpointer data) { delete static_cast<GnomeBus::SignalHandler*>(data); }

gboolean runWork(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

}  // namespace

GnomeBus::GnomeBus() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
}

GnomeBus::~GnomeBus() {
    if (connection_) {
        // Pending replies and signals are dropped, then the thread ends.
        onBusThread([this] { g_dbus_connection_close_sync(connection_, nullptr, nullptr); });
        g_object_unref(connection_);
    }
    g_main_loop_quit(loop_);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void GnomeBus::onBusThread(const std::function<void()>& work) {
    std::promise<void> done;
    std::function<void()> wrapped = [&] {
        work();
        done.set_value();
    };
    g_main_context_invoke(context_, runWork, &wrapped);
    done.get_future().wait();
}

std::shared_ptr<GnomeBus> GnomeBus::connect() {
    const auto address = sessionBusAddress();
    if (!address) throw GnomeBusError("no session bus ($DBUS_SESSION_BUS_ADDRESS is not set)");
    std::shared_ptr<GnomeBus> bus(new GnomeBus());
    Connecting connecting;
    auto answer = connecting.done.get_future();
    GCancellable* cancellable = g_cancellable_new();
    bus->onBusThread([&] {
        g_dbus_connection_new_for_address(
            address->c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable, connected, &connecting);
    });
    if (answer.wait_for(callTimeout) != std::future_status::ready) g_cancellable_cancel(cancellable);
    auto [connection, error] = answer.get();
    g_object_unref(cancellable);
    if (!connection) throw GnomeBusError("the session bus does not answer: " + error);
    // Losing the bus must not end the program.
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    bus->connection_ = connection;
    return bus;
}

BusReply GnomeBus::call(const BusObject& object, const char* interface, const char* method, GVariant* parameters,
                        const char* replyType, std::chrono::milliseconds timeout) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(connection_, object.service.c_str(), object.path.c_str(), interface,
                                                  method, parameters, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                  G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(timeout.count()),
                                                  nullptr, &error);
    if (!reply) return {nullptr, takeError(error)};
    return {VariantPointer(reply), {}};
}

GnomeBus::FileReply GnomeBus::callForFile(const BusObject& object, const char* interface, const char* method,
                                          GVariant* parameters, const char* replyType,
                                          std::chrono::milliseconds timeout) {
    GError* error = nullptr;
    GUnixFDList* files = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        connection_, object.service.c_str(), object.path.c_str(), interface, method, parameters,
        replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
        static_cast<int>(timeout.count()), nullptr, &files, nullptr, &error);
    if (!reply) return {{nullptr, takeError(error)}, -1};
    int fd = -1;
    if (files && g_unix_fd_list_get_length(files) > 0) fd = g_unix_fd_list_get(files, 0, nullptr);
    if (files) g_object_unref(files);
    return {{VariantPointer(reply), {}}, fd};
}

BusReply GnomeBus::property(const BusObject& object, const char* interface, const char* name) {
    auto reply = call(object, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name), "(v)");
    if (!reply) return reply;
    GVariant* value = nullptr;
    g_variant_get(reply.value.get(), "(v)", &value);
    return {VariantPointer(value), {}};
}

std::optional<std::uint32_t> GnomeBus::version(const BusObject& object, const char* interface) {
    const auto reply = property(object, interface, "Version");
    if (!reply) return std::nullopt;
    GVariant* value = reply.value.get();
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32) && g_variant_get_int32(value) >= 0) {
        return static_cast<std::uint32_t>(g_variant_get_int32(value));
    }
    return std::nullopt;
}

unsigned GnomeBus::subscribe(const std::string& service, const char* interface, const char* signal,
                             const std::string& path, SignalHandler handler) {
    unsigned subscription = 0;
    auto* owned = new SignalHandler(std::move(handler));
    // Signals are delivered in the main context of the thread that subscribes.
    onBusThread([&] {
        subscription =
            g_dbus_connection_signal_subscribe(connection_, service.c_str(), interface, signal, path.c_str(), nullptr,
                                               G_DBUS_SIGNAL_FLAGS_NONE, deliverSignal, owned, releaseHandler);
    });
    return subscription;
}

void GnomeBus::unsubscribe(unsigned subscription) { g_dbus_connection_signal_unsubscribe(connection_, subscription); }

}  // namespace zentrabo::platform
