#include "platform/desktop/gnome/bus_named_applications.hpp"

#include <algorithm>
#include <set>

#include "platform/desktop/application_identifier.hpp"

namespace zentrabo::platform {

namespace {

const BusObject busDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus"};
constexpr const char* busInterface = "org.freedesktop.DBus";

std::set<std::string> ownedNames(GnomeBus& bus) {
    std::set<std::string> names;
    const auto reply = bus.call(busDaemon, busInterface, "ListNames", nullptr, "(as)");
    if (!reply) return names;
    GVariantIter* iterator = nullptr;
    g_variant_get(reply.value.get(), "(as)", &iterator);
    const gchar* name = nullptr;
    // Unique names (":1.42") name connections, not applications.
    while (g_variant_iter_next(iterator, "&s", &name)) {
        if (name[0] != ':') names.emplace(name);
    }
    g_variant_iter_free(iterator);
    return names;
}

}  // namespace

std::map<ProcessID, std::string> busNamedApplications(GnomeBus& bus, const std::vector<DesktopEntry>& entries) {
    std::map<ProcessID, std::string> applications;
    for (const auto& name : ownedNames(bus)) {
        // Entries menus do not list name the session's own services too (the
        // shell, the settings daemons, the portals): those are no applications.
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const DesktopEntry& candidate) {
            return candidate.listed && identifierAnswers(std::string_view(candidate.id), name);
        });
        if (entry == entries.end()) continue;
        const auto reply =
            bus.call(busDaemon, busInterface, "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), "(u)");
        if (!reply) continue;
        guint32 pid = 0;
        g_variant_get(reply.value.get(), "(u)", &pid);
        if (pid > 0) applications.try_emplace(static_cast<ProcessID>(pid), entry->id);
    }
    return applications;
}

}  // namespace zentrabo::platform
