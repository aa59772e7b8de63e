#include "platform/desktop/x11/composite_frames.hpp"

#include <xcb/composite.h>

namespace zentrabo::platform {

namespace {

// A window nested deeper than this is no window a window manager made.
constexpr int maximumDepth = 32;

// The server's pixmap of a redirected window, freed when it goes.
class NamedPixmap {
public:
    NamedPixmap(X11Connection& connection, xcb_window_t window)
        : connection_(connection), pixmap_(xcb_generate_id(connection.get())) {
        xcb_composite_name_window_pixmap(connection.get(), window, pixmap_);
    }
    ~NamedPixmap() {
        xcb_free_pixmap(connection_.get(), pixmap_);
        connection_.flush();
    }
    NamedPixmap(const NamedPixmap&) = delete;
    NamedPixmap& operator=(const NamedPixmap&) = delete;

    xcb_pixmap_t get() const { return pixmap_; }

private:
    X11Connection& connection_;
    xcb_pixmap_t pixmap_;
};

}  // namespace

bool redirectSubwindows(X11Connection& connection) {
    const auto version =
        connection.reply<xcb_composite_query_version_reply_t>(xcb_composite_query_version(connection.get(), 0, 2));
    if (!version || (version->major_version == 0 && version->minor_version < 2)) return false;
    xcb_composite_redirect_subwindows(connection.get(), connection.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    connection.flush();
    return true;
}

std::optional<xcb_window_t> topLevelWindow(X11Connection& connection, xcb_window_t client) {
    xcb_window_t window = client;
    for (int depth = 0; depth < maximumDepth; ++depth) {
        const auto tree = connection.reply<xcb_query_tree_reply_t>(xcb_query_tree(connection.get(), window));
        if (!tree) return std::nullopt;
        if (tree->parent == connection.root() || tree->parent == XCB_NONE) return window;
        window = tree->parent;
    }
    return std::nullopt;
}

std::optional<FrameInPlace> frameInPlace(X11Connection& connection, ShmImageReader& pictures, xcb_window_t client) {
    const auto frame = topLevelWindow(connection, client);
    if (!frame) return std::nullopt;
    const auto attributes =
        connection.reply<xcb_get_window_attributes_reply_t>(xcb_get_window_attributes(connection.get(), *frame));
    const auto geometry = connection.reply<xcb_get_geometry_reply_t>(xcb_get_geometry(connection.get(), *frame));
    // An unmapped window has no pixmap to name.
    if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return std::nullopt;
    const NamedPixmap pixmap(connection, *frame);
    // The pixmap holds the border too.
    const std::uint32_t width = geometry->width + 2u * geometry->border_width;
    const std::uint32_t height = geometry->height + 2u * geometry->border_width;
    const auto pixels = pictures.pixels(pixmap.get(), PixelRect{0, 0, width, height}, width, height);
    if (!pixels) return std::nullopt;
    return FrameInPlace{*pixels, Point{static_cast<double>(geometry->x), static_cast<double>(geometry->y)}};
}

std::optional<FramePixels> framePixels(X11Connection& connection, ShmImageReader& pictures, xcb_window_t client) {
    const auto frame = frameInPlace(connection, pictures, client);
    if (!frame) return std::nullopt;
    return FramePixels{rgbaFromPixels(frame->pixels), frame->origin};
}

}  // namespace zentrabo::platform
