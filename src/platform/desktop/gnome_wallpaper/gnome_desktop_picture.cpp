#include "platform/desktop/gnome_wallpaper/gnome_desktop_picture.hpp"

#include <gio/gio.h>

#include <array>
#include <memory>
#include <utility>

namespace zentrabo::platform {
namespace {

struct SchemaRelease {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using Schema = std::unique_ptr<GSettingsSchema, SchemaRelease>;

struct ObjectRelease {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// The installed schema; none when it is missing, since GSettings ends the
// process on a schema it cannot find.
Schema installedSchema(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return nullptr;
    return Schema(g_settings_schema_source_lookup(source, id, TRUE));
}

// Reads string keys of one schema; false when it is not installed. A key the
// schema lacks (or of another type) stays "", as GSettings would end the
// process on it.
template <std::size_t Count>
bool readStrings(const char* schemaId, const std::array<std::pair<const char*, std::string*>, Count>& keys) {
    const Schema schema = installedSchema(schemaId);
    if (!schema) return false;
    const std::unique_ptr<GSettings, ObjectRelease> settings(g_settings_new_full(schema.get(), nullptr, nullptr));
    for (const auto& [name, value] : keys) {
        if (!g_settings_schema_has_key(schema.get(), name)) continue;
        GSettingsSchemaKey* key = g_settings_schema_get_key(schema.get(), name);
        const bool isString = g_variant_type_equal(g_settings_schema_key_get_value_type(key), G_VARIANT_TYPE_STRING);
        g_settings_schema_key_unref(key);
        if (!isString) continue;
        gchar* text = g_settings_get_string(settings.get(), name);
        *value = text;
        g_free(text);
    }
    return true;
}

// A file URI of this machine, or an absolute path as a desktop takes it.
std::optional<std::filesystem::path> localFile(const std::string& uri) {
    if (uri.starts_with("/")) return std::filesystem::path(uri);
    gchar* hostname = nullptr;
    gchar* path = g_filename_from_uri(uri.c_str(), &hostname, nullptr);
    const bool local = path && (!hostname || g_strcmp0(hostname, "localhost") == 0);
    std::optional<std::filesystem::path> file;
    if (local) file = std::filesystem::path(path);
    g_free(path);
    g_free(hostname);
    return file;
}

}  // namespace

std::optional<GnomeBackgroundSettings> readGnomeBackgroundSettings() {
    GnomeBackgroundSettings settings;
    if (!readStrings<3>("org.gnome.desktop.background", {{{"picture-uri", &settings.pictureUri},
                                                          {"picture-uri-dark", &settings.pictureUriDark},
                                                          {"picture-options", &settings.pictureOptions}}})) {
        return std::nullopt;
    }
    readStrings<1>("org.gnome.desktop.interface", {{{"color-scheme", &settings.colorScheme}}});
    return settings;
}

std::optional<std::filesystem::path> gnomeDesktopPicture(const GnomeBackgroundSettings& settings) {
    if (settings.pictureOptions == "none") return std::nullopt;
    // The desktop shows the dark picture alone in the dark scheme, none
    // when that one is empty.
    const std::string& uri = settings.colorScheme == "prefer-dark" ? settings.pictureUriDark : settings.pictureUri;
    if (uri.empty()) return std::nullopt;
    return localFile(uri);
}

}  // namespace zentrabo::platform
