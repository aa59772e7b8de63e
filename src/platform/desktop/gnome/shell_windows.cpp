#include "platform/desktop/gnome/shell_windows.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t normalType = 0;
constexpr std::uint32_t dialogType = 3;
constexpr std::uint32_t modalDialogType = 4;
constexpr std::uint32_t utilityType = 7;

// At most this many windows are read from one reply.
constexpr std::size_t maximumWindows = 4096;

BusObject extensionObject(const std::string& interface) {
    std::string path = "/" + interface;
    std::replace(path.begin(), path.end(), '.', '/');
    return {interface, path};
}

Rect rectangle(gint32 x, gint32 y, gint32 width, gint32 height) {
    return {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width), static_cast<double>(height)};
}

}  // namespace

bool ShellWindow::isApplicationWindow() const {
    return type == normalType || type == dialogType || type == modalDialogType || type == utilityType;
}

FrameInsets ShellWindow::frameInsets() const {
    const double left = frame.minX() - buffer.minX(), top = frame.minY() - buffer.minY();
    const double right = buffer.maxX() - frame.maxX(), bottom = buffer.maxY() - frame.maxY();
    if (left < 0 || top < 0 || right < 0 || bottom < 0) return {};
    return {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top), static_cast<std::uint32_t>(right),
            static_cast<std::uint32_t>(bottom)};
}

ShellWindows::ShellWindows(std::shared_ptr<GnomeBus> bus)
    : bus_(std::move(bus)),
      extension_(extensionObject(productIdentity().shellExtensionInterface)),
      interface_(productIdentity().shellExtensionInterface) {}

std::optional<std::uint32_t> ShellWindows::version() { return bus_->version(extension_, interface_.c_str()); }

std::optional<std::vector<ShellWindow>> ShellWindows::windows() {
    const auto reply = bus_->call(extension_, interface_.c_str(), "ListWindows", nullptr, "(a(tuss(iiii)(iiii)biu))");
    if (!reply) return std::nullopt;
    GVariantIter* iterator = nullptr;
    g_variant_get(reply.value.get(), "(a(tuss(iiii)(iiii)biu))", &iterator);
    std::vector<ShellWindow> windows;
    guint64 id = 0;
    guint32 pid = 0;
    const gchar* desktopFileID = nullptr;
    const gchar* title = nullptr;
    gint32 fx = 0, fy = 0, fw = 0, fh = 0, bx = 0, by = 0, bw = 0, bh = 0;
    gboolean minimized = FALSE;
    gint32 monitor = 0;
    guint32 type = 0;
    while (windows.size() < maximumWindows &&
           g_variant_iter_next(iterator, "(tu&s&s(iiii)(iiii)biu)", &id, &pid, &desktopFileID, &title, &fx, &fy, &fw,
                               &fh, &bx, &by, &bw, &bh, &minimized, &monitor, &type)) {
        windows.push_back({id, static_cast<ProcessID>(pid), desktopFileID, title, rectangle(fx, fy, fw, fh),
                           rectangle(bx, by, bw, bh), minimized != FALSE, monitor, type});
    }
    g_variant_iter_free(iterator);
    return windows;
}

ShellWindowID ShellWindows::focusedWindow() {
    const auto reply = bus_->call(extension_, interface_.c_str(), "GetFocusedWindow", nullptr, "(t)");
    if (!reply) return 0;
    guint64 id = 0;
    g_variant_get(reply.value.get(), "(t)", &id);
    return id;
}

bool ShellWindows::act(const char* method, GVariant* parameters) {
    const auto reply = bus_->call(extension_, interface_.c_str(), method, parameters, "(b)");
    if (!reply) return false;
    gboolean found = FALSE;
    g_variant_get(reply.value.get(), "(b)", &found);
    return found != FALSE;
}

bool ShellWindows::activate(ShellWindowID window) { return act("Activate", g_variant_new("(t)", window)); }
bool ShellWindows::raise(ShellWindowID window) { return act("Raise", g_variant_new("(t)", window)); }
bool ShellWindows::minimize(ShellWindowID window) { return act("Minimize", g_variant_new("(t)", window)); }
bool ShellWindows::unminimize(ShellWindowID window) { return act("Unminimize", g_variant_new("(t)", window)); }
bool ShellWindows::close(ShellWindowID window) { return act("Close", g_variant_new("(t)", window)); }

bool ShellWindows::moveResize(ShellWindowID window, const Rect& frame) {
    // The shell takes whole pixels; a value beyond their range (or not a
    // number) must not reach the conversion.
    const auto pixels = [](double value) {
        if (!std::isfinite(value)) return gint32{0};
        return static_cast<gint32>(std::clamp(std::round(value), double{std::numeric_limits<gint32>::min()},
                                              double{std::numeric_limits<gint32>::max()}));
    };
    return act("MoveResize", g_variant_new("(tiiii)", window, pixels(frame.x), pixels(frame.y), pixels(frame.width),
                                           pixels(frame.height)));
}

}  // namespace zentrabo::platform
