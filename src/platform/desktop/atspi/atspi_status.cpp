#include "platform/desktop/atspi/atspi_status.hpp"

#include <gio/gio.h>

#include <optional>
#include <string>

#include "platform/desktop/atspi/session_bus_address.hpp"

namespace zentrabo::platform {
namespace {

constexpr const char* launcherName = "org.a11y.Bus";
constexpr const char* launcherPath = "/org/a11y/bus";
constexpr const char* statusInterface = "org.a11y.Status";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* enabledProperty = "IsEnabled";

constexpr guint reconnectSeconds = 2;
// A connection attempt that has not finished by then is given up.
constexpr guint connectSeconds = 5;
// How long the thread waits at its end for cancelled calls to come back.
constexpr auto drainTimeout = std::chrono::seconds(1);

constexpr int callMilliseconds =
    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(AtspiStatus::answerTimeout).count());

}  // namespace

// What lives on the thread: its GLib context and the session bus connection
// with the launcher's name watch and the change signal's subscription.
struct AtspiStatus::Watch {
    explicit Watch(AtspiStatus& owner) : owner(owner) {}
    ~Watch() {
        g_object_unref(cancellable);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    AtspiStatus& owner;
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    // Cancels every call in flight when the thread ends.
    GCancellable* cancellable = g_cancellable_new();
    // The connection attempt under way, cancelled by its own timeout.
    GCancellable* attempt = nullptr;
    GSource* attemptTimeout = nullptr;
    // Set on the thread; enable() takes a reference under the mutex.
    std::mutex connectionMutex;
    GDBusConnection* connection = nullptr;
    guint nameWatch = 0;
    guint subscription = 0;
    // Calls whose completions have not run yet.
    int pending = 0;
    bool ending = false;

    void answer(bool enabled) {
        owner.enabled_.store(enabled);
        {
            const std::lock_guard lock(owner.mutex_);
            owner.firstAnswer_ = true;
        }
        owner.answered_.notify_all();
    }

    void attach(GSource* source, GSourceFunc callback) {
        g_source_set_callback(source, callback, this, nullptr);
        g_source_attach(source, context);
    }

    void connect() {
        const auto address = sessionBusAddress();
        if (!address) {
            answer(false);
            scheduleReconnect();
            return;
        }
        attempt = g_cancellable_new();
        attemptTimeout = g_timeout_source_new_seconds(connectSeconds);
        attach(attemptTimeout, [](gpointer data) {
            auto* watch = static_cast<Watch*>(data);
            g_cancellable_cancel(watch->attempt);
            return G_SOURCE_REMOVE;
        });
        ++pending;
        g_dbus_connection_new_for_address(
            address->c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, attempt, &Watch::connected, this);
    }

    static void connected(GObject*, GAsyncResult* result, gpointer data) {
        auto* watch = static_cast<Watch*>(data);
        --watch->pending;
        g_source_destroy(watch->attemptTimeout);
        g_source_unref(watch->attemptTimeout);
        watch->attemptTimeout = nullptr;
        g_clear_object(&watch->attempt);
        GError* error = nullptr;
        GDBusConnection* connection = g_dbus_connection_new_for_address_finish(result, &error);
        if (!connection) {
            g_error_free(error);
            if (watch->ending) return;
            watch->answer(false);
            watch->scheduleReconnect();
            return;
        }
        if (watch->ending) {
            g_dbus_connection_close(connection, nullptr, nullptr, nullptr);
            g_object_unref(connection);
            return;
        }
        {
            const std::lock_guard lock(watch->connectionMutex);
            watch->connection = connection;
        }
        g_signal_connect(connection, "closed", G_CALLBACK(&Watch::closed), watch);
        watch->subscription = g_dbus_connection_signal_subscribe(
            connection, launcherName, propertiesInterface, "PropertiesChanged", launcherPath, statusInterface,
            G_DBUS_SIGNAL_FLAGS_NONE, &Watch::propertiesChanged, watch, nullptr);
        watch->nameWatch = g_bus_watch_name_on_connection(connection, launcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                          &Watch::appeared, &Watch::vanished, watch, nullptr);
    }

    void readEnabled() {
        ++pending;
        g_dbus_connection_call(connection, launcherName, launcherPath, propertiesInterface, "Get",
                               g_variant_new("(ss)", statusInterface, enabledProperty), G_VARIANT_TYPE("(v)"),
                               G_DBUS_CALL_FLAGS_NONE, callMilliseconds, cancellable, &Watch::enabledRead, this);
    }

    static void enabledRead(GObject* source, GAsyncResult* result, gpointer data) {
        auto* watch = static_cast<Watch*>(data);
        --watch->pending;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (!reply) {
            g_error_free(error);
            // A launcher that cannot say is no usable switch.
            if (!watch->ending) watch->answer(false);
            return;
        }
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        const bool enabled = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(reply);
        if (!watch->ending) watch->answer(enabled);
    }

    static void appeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
        static_cast<Watch*>(data)->readEnabled();
    }

    static void vanished(GDBusConnection*, const gchar*, gpointer data) { static_cast<Watch*>(data)->answer(false); }

    static void propertiesChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer data) {
        auto* watch = static_cast<Watch*>(data);
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) return;
        GVariant* changed = nullptr;
        const gchar** invalidated = nullptr;
        g_variant_get(parameters, "(&s@a{sv}^a&s)", nullptr, &changed, &invalidated);
        gboolean enabled = FALSE;
        if (g_variant_lookup(changed, enabledProperty, "b", &enabled)) {
            watch->answer(enabled);
        } else if (invalidated && g_strv_contains(invalidated, enabledProperty)) {
            watch->readEnabled();
        }
        g_variant_unref(changed);
        g_free(invalidated);
    }

    static void closed(GDBusConnection*, gboolean, GError*, gpointer data) {
        auto* watch = static_cast<Watch*>(data);
        watch->answer(false);
        watch->dropConnection();
        watch->scheduleReconnect();
    }

    void scheduleReconnect() {
        GSource* wait = g_timeout_source_new_seconds(reconnectSeconds);
        attach(wait, [](gpointer data) {
            static_cast<Watch*>(data)->connect();
            return G_SOURCE_REMOVE;
        });
        // The context keeps it until it has run; ours would keep it for
        // good, one more every two seconds while the bus is gone.
        g_source_unref(wait);
    }

    void dropConnection() {
        GDBusConnection* dropped = nullptr;
        {
            const std::lock_guard lock(connectionMutex);
            std::swap(dropped, connection);
        }
        if (!dropped) return;
        if (nameWatch) g_bus_unwatch_name(nameWatch);
        if (subscription) g_dbus_connection_signal_unsubscribe(dropped, subscription);
        nameWatch = subscription = 0;
        g_signal_handlers_disconnect_by_data(dropped, this);
        g_dbus_connection_close(dropped, nullptr, nullptr, nullptr);
        g_object_unref(dropped);
    }

    // Cancels what is in flight and lets the completions run, so none is
    // left to call into a freed watch.
    void end() {
        ending = true;
        g_cancellable_cancel(cancellable);
        if (attempt) g_cancellable_cancel(attempt);
        dropConnection();
        const auto deadline = std::chrono::steady_clock::now() + drainTimeout;
        while (pending > 0 && std::chrono::steady_clock::now() < deadline) {
            if (!g_main_context_iteration(context, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

AtspiStatus::AtspiStatus() : watch_(std::make_unique<Watch>(*this)) {
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    answered_.wait_for(lock, answerTimeout, [this] { return firstAnswer_; });
}

AtspiStatus::~AtspiStatus() {
    // An idle source, not a direct quit: a quit before the loop runs would
    // be lost.
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        watch_->loop, nullptr);
    g_source_attach(quit, watch_->context);
    g_source_unref(quit);
    thread_.join();
}

AtspiStatus& AtspiStatus::session() {
    static AtspiStatus status;
    return status;
}

void AtspiStatus::run() {
    g_main_context_push_thread_default(watch_->context);
    watch_->connect();
    g_main_loop_run(watch_->loop);
    watch_->end();
    g_main_context_pop_thread_default(watch_->context);
}

bool AtspiStatus::enable() {
    GDBusConnection* connection = nullptr;
    {
        const std::lock_guard lock(watch_->connectionMutex);
        if (watch_->connection) connection = G_DBUS_CONNECTION(g_object_ref(watch_->connection));
    }
    if (!connection) return enabled();
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection, launcherName, launcherPath, propertiesInterface, "Set",
        g_variant_new("(ssv)", statusInterface, enabledProperty, g_variant_new_boolean(TRUE)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, callMilliseconds, nullptr, &error);
    g_object_unref(connection);
    if (!reply) {
        g_error_free(error);
        return enabled();
    }
    g_variant_unref(reply);
    // The change signal says so too, soon; the caller asks now.
    enabled_.store(true);
    return true;
}

}  // namespace zentrabo::platform
