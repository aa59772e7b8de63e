#include "platform/desktop/atspi/atspi_connection.hpp"

#include <cstdlib>

#include "platform/desktop/atspi/session_bus_address.hpp"

namespace zentrabo::platform {
namespace {

// How long the launcher is asked for the bus's address.
constexpr int kAddressTimeoutMs = 2000;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using OwnedError = std::unique_ptr<GError, ErrorFree>;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using OwnedConnection = std::unique_ptr<GDBusConnection, ObjectUnref>;

OwnedConnection connectTo(const std::string& address) {
    GError* error = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (error) g_error_free(error);
    // Its loss must never end the process.
    if (connection) g_dbus_connection_set_exit_on_close(connection, FALSE);
    return OwnedConnection(connection);
}

std::optional<std::string> accessibilityBusAddress() {
    if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS"); address && *address) return address;
    const auto session = sessionBusAddress();
    if (!session) return std::nullopt;
    // A private connection: the shared one ends the process when it is lost.
    const auto connection = connectTo(*session);
    if (!connection) return std::nullopt;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(connection.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                  "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NO_AUTO_START, kAddressTimeoutMs, nullptr, &error);
    g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
    if (error) g_error_free(error);
    if (!reply) return std::nullopt;
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    std::string result = address ? address : "";
    g_variant_unref(reply);
    if (result.empty()) return std::nullopt;
    return result;
}

AtspiReply::Failure failureOf(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CLOSED) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED)) {
        return AtspiReply::Failure::closed;
    }
    // What an application answers for an interface or property its object
    // does not have.
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NOT_SUPPORTED)) {
        return AtspiReply::Failure::unsupported;
    }
    return AtspiReply::Failure::failed;
}

}  // namespace

std::shared_ptr<AtspiConnection> AtspiConnection::open() {
    const auto address = accessibilityBusAddress();
    if (!address) return nullptr;
    auto connection = connectTo(*address);
    if (!connection) return nullptr;
    return std::shared_ptr<AtspiConnection>(new AtspiConnection(connection.release()));
}

AtspiConnection::~AtspiConnection() {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
}

bool AtspiConnection::isClosed() const { return g_dbus_connection_is_closed(connection_); }

AtspiReply AtspiConnection::call(const AccessibleRef& object, const char* interface, const char* method,
                                 GVariant* parameters, const char* replyType) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, object.bus.c_str(), object.path.c_str(), interface, method, parameters, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(timeout_.count()), nullptr, &error);
    if (!reply) {
        const OwnedError owned(error);
        return {nullptr, owned ? failureOf(owned.get()) : AtspiReply::Failure::failed};
    }
    return {OwnedVariant(reply), AtspiReply::Failure::none};
}

std::vector<AtspiReply> AtspiConnection::callAll(const std::vector<AtspiCall>& calls) {
    struct Batch {
        std::vector<AtspiReply> replies;
        std::size_t pending = 0;
    } batch;
    batch.replies.resize(calls.size());
    struct Slot {
        Batch* batch;
        std::size_t index;
    };
    std::vector<Slot> slots;
    slots.reserve(calls.size());
    // The replies are dispatched in a context of this call's own.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    for (std::size_t index = 0; index < calls.size(); ++index) {
        const auto& call = calls[index];
        slots.push_back({&batch, index});
        ++batch.pending;
        g_dbus_connection_call(
            connection_, call.object.bus.c_str(), call.object.path.c_str(), call.interface, call.method,
            call.parameters, G_VARIANT_TYPE(call.replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
            static_cast<int>(timeout_.count()), nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* slot = static_cast<Slot*>(data);
                GError* error = nullptr;
                GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
                auto& answer = slot->batch->replies[slot->index];
                if (reply) {
                    answer = {OwnedVariant(reply), AtspiReply::Failure::none};
                } else {
                    const OwnedError owned(error);
                    answer = {nullptr, owned ? failureOf(owned.get()) : AtspiReply::Failure::failed};
                }
                --slot->batch->pending;
            },
            &slots.back());
    }
    // Every call ends by its reply, its timeout or the connection's end.
    while (batch.pending > 0) g_main_context_iteration(context, TRUE);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return std::move(batch.replies);
}

AtspiReply AtspiConnection::property(const AccessibleRef& object, const char* interface, const char* name) {
    auto reply = call(object, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name), "(v)");
    if (!reply) return reply;
    GVariant* value = nullptr;
    g_variant_get(reply.value.get(), "(v)", &value);
    return {OwnedVariant(value), AtspiReply::Failure::none};
}

AtspiReply AtspiConnection::callBus(const char* method, GVariant* parameters, const char* replyType) {
    return call({"org.freedesktop.DBus", "/org/freedesktop/DBus"}, "org.freedesktop.DBus", method, parameters,
                replyType);
}

std::optional<bool> AtspiConnection::hasOwner(const std::string& bus) {
    const auto reply = callBus("NameHasOwner", g_variant_new("(s)", bus.c_str()), "(b)");
    if (!reply) return std::nullopt;
    gboolean owned = FALSE;
    g_variant_get(reply.value.get(), "(b)", &owned);
    return owned != FALSE;
}

std::optional<ProcessID> AtspiConnection::processOf(const std::string& bus) {
    const auto reply = callBus("GetConnectionUnixProcessID", g_variant_new("(s)", bus.c_str()), "(u)");
    if (!reply) return std::nullopt;
    guint32 pid = 0;
    g_variant_get(reply.value.get(), "(u)", &pid);
    return static_cast<ProcessID>(pid);
}

}  // namespace zentrabo::platform
