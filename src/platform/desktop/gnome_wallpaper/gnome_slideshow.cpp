#include "platform/desktop/gnome_wallpaper/gnome_slideshow.hpp"

#include <glib.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/desktop/gnome_wallpaper/gnome_desktop_picture.hpp"
#include "platform/files/bounded_file_read.hpp"

namespace zentrabo::platform {
namespace {

// Slideshows are a few kilobytes; a larger file is none.
constexpr std::size_t maximumSlideshowBytes = 1 << 20;

struct SizedPicture {
    double width = 0;
    double height = 0;
    std::string path;
};

struct Item {
    bool transition = false;
    double duration = 0;
    // A still's sizes, or a transition's first picture.
    std::vector<SizedPicture> pictures;
    // A transition's second picture.
    std::string to;
};

struct Slideshow {
    std::tm start{};
    bool hasStart = false;
    std::vector<Item> items;
    bool rootSeen = false;
    bool failed = false;
    std::vector<std::string> open;
    std::string text;
    SizedPicture size;
};

bool inside(const Slideshow& show, const char* name) {
    return show.open.size() >= 2 && show.open[show.open.size() - 2] == name;
}

void started(GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values, gpointer data,
             GError**) {
    auto& show = *static_cast<Slideshow*>(data);
    const std::string name = element;
    if (show.open.empty() && name != "background") show.failed = true;
    if (show.open.empty()) show.rootSeen = true;
    show.open.push_back(name);
    show.text.clear();
    if (show.open.size() == 2 && (name == "static" || name == "transition")) {
        show.items.push_back({name == "transition", 0, {}, {}});
    }
    if (name == "size") {
        show.size = {};
        for (; *names; ++names, ++values) {
            if (std::string_view(*names) == "width") show.size.width = std::strtod(*values, nullptr);
            if (std::string_view(*names) == "height") show.size.height = std::strtod(*values, nullptr);
        }
    }
}

void textRead(GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**) {
    static_cast<Slideshow*>(data)->text.append(text, length);
}

void ended(GMarkupParseContext*, const gchar* element, gpointer data, GError**) {
    auto& show = *static_cast<Slideshow*>(data);
    const std::string name = element;
    const std::string text = [&] {
        g_autofree gchar* stripped = g_strstrip(g_strdup(show.text.c_str()));
        return std::string(stripped);
    }();
    const bool inItem = show.open.size() >= 3 && (show.open[1] == "static" || show.open[1] == "transition");
    Item* item = inItem && !show.items.empty() ? &show.items.back() : nullptr;
    if (inside(show, "starttime")) {
        const int value = std::atoi(text.c_str());
        show.hasStart = true;
        if (name == "year") show.start.tm_year = value - 1900;
        if (name == "month") show.start.tm_mon = value - 1;
        if (name == "day") show.start.tm_mday = value;
        if (name == "hour") show.start.tm_hour = value;
        if (name == "minute") show.start.tm_min = value;
        if (name == "second") show.start.tm_sec = value;
    } else if (item && name == "duration") {
        item->duration = std::strtod(text.c_str(), nullptr);
    } else if (item && name == "size" && inside(show, "file")) {
        show.size.path = text;
        item->pictures.push_back(show.size);
    } else if (item && !item->transition && name == "file" && !text.empty()) {
        item->pictures.push_back({0, 0, text});
    } else if (item && item->transition && name == "from") {
        item->pictures.push_back({0, 0, text});
    } else if (item && item->transition && name == "to") {
        item->to = text;
    }
    show.open.pop_back();
    show.text.clear();
}

std::string chosenSize(const std::vector<SizedPicture>& pictures, Size monitor) {
    const SizedPicture* covering = nullptr;
    const SizedPicture* largest = nullptr;
    for (const auto& picture : pictures) {
        const double area = picture.width * picture.height;
        if (picture.width >= monitor.width && picture.height >= monitor.height &&
            (!covering || area < covering->width * covering->height)) {
            covering = &picture;
        }
        if (!largest || area > largest->width * largest->height) largest = &picture;
    }
    return covering ? covering->path : largest ? largest->path : std::string();
}

}  // namespace

std::optional<std::filesystem::path> gnomeSlideshowPicture(std::string_view content,
                                                           const std::filesystem::path& folder, std::time_t now,
                                                           Size monitor) {
    Slideshow show;
    const GMarkupParser parser{started, ended, textRead, nullptr, nullptr};
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_PREFIX_ERROR_POSITION, &show, nullptr);
    GError* error = nullptr;
    const bool parsed =
        g_markup_parse_context_parse(context, content.data(), static_cast<gssize>(content.size()), &error) &&
        g_markup_parse_context_end_parse(context, &error);
    g_clear_error(&error);
    g_markup_parse_context_free(context);
    if (!parsed || show.failed || !show.rootSeen) return std::nullopt;

    double total = 0;
    for (const auto& item : show.items) {
        if (!std::isfinite(item.duration) || item.duration < 0) return std::nullopt;
        total += item.duration;
    }
    if (show.items.empty()) return std::nullopt;
    double elapsed = 0;
    if (show.hasStart && total > 0) {
        std::tm start = show.start;
        start.tm_isdst = -1;  // the start is local time, summer time as it falls
        const std::time_t began = std::mktime(&start);
        // Before its start a slideshow shows its first picture.
        if (began != -1 && now > began) elapsed = std::fmod(std::difftime(now, began), total);
    }
    std::string chosen;
    for (const auto& item : show.items) {
        if (elapsed < item.duration || &item == &show.items.back()) {
            const bool secondHalf = item.transition && elapsed >= item.duration / 2;
            chosen = secondHalf ? item.to : chosenSize(item.pictures, monitor);
            break;
        }
        elapsed -= item.duration;
    }
    if (chosen.empty()) return std::nullopt;
    const std::filesystem::path picture(chosen);
    return picture.is_absolute() ? picture : folder / picture;
}

std::optional<std::filesystem::path> shownDesktopPicture(const std::filesystem::path& picture, std::time_t now,
                                                         Size monitor) {
    if (picture.extension() != ".xml") return picture;
    const auto file = readRegularFile(picture, maximumSlideshowBytes);
    if (file.status != BoundedFileRead::Status::ok) return std::nullopt;
    const std::string_view content(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
    return gnomeSlideshowPicture(content, picture.parent_path(), now, monitor);
}

std::optional<std::filesystem::path> currentGnomeDesktopPicture(Size screen) {
    const auto settings = readGnomeBackgroundSettings();
    const auto picture = settings ? gnomeDesktopPicture(*settings) : std::nullopt;
    if (!picture) return std::nullopt;
    return shownDesktopPicture(*picture, std::time(nullptr), screen);
}

}  // namespace zentrabo::platform
