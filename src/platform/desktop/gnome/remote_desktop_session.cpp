#include "platform/desktop/gnome/remote_desktop_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace zentrabo::platform {

namespace {

constexpr const char* remoteDesktopService = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* remoteDesktopInterface = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* screenCastService = "org.gnome.Mutter.ScreenCast";
constexpr const char* screenCastSessionInterface = "org.gnome.Mutter.ScreenCast.Session";
// The left Shift key, pressed and released to create the keyboard device.
constexpr std::uint32_t warmUpKey = 42;

std::string objectPathOf(const BusReply& reply) {
    const gchar* path = nullptr;
    g_variant_get(reply.value.get(), "(&o)", &path);
    return path;
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

// Writes all of data before the deadline; false when the reader went away or
// was too slow.
bool writeAll(int fd, const std::vector<std::uint8_t>& data, std::chrono::steady_clock::time_point deadline) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::size_t written = 0;
    while (written < data.size()) {
        pollfd waiting{fd, POLLOUT, 0};
        if (poll(&waiting, 1, millisecondsUntil(deadline)) <= 0) return false;
        const ssize_t count = write(fd, data.data() + written, data.size() - written);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (count <= 0) return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

}  // namespace

struct RemoteDesktopSession::Shared {
    std::mutex mutex;
    std::vector<std::string> ownerTypes;
    bool ownsSelection = false;
    std::map<std::string, std::vector<std::uint8_t>> offered;
    std::int64_t ownerChanges = 0;
    bool closed = false;
};

RemoteDesktopSession::RemoteDesktopSession(std::shared_ptr<GnomeBus> bus, Clock& clock)
    : bus_(std::move(bus)), clock_(clock), shared_(std::make_shared<Shared>()) {}

std::unique_ptr<RemoteDesktopSession> RemoteDesktopSession::open(std::shared_ptr<GnomeBus> bus,
                                                                 const std::vector<MutterMonitor>& monitors,
                                                                 Clock& clock) {
    std::unique_ptr<RemoteDesktopSession> session(new RemoteDesktopSession(std::move(bus), clock));
    GnomeBus& busRef = *session->bus_;
    const auto created = busRef.call({remoteDesktopService, "/org/gnome/Mutter/RemoteDesktop"},
                                     "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr, "(o)");
    if (!created) throw GnomeBusError("mutter refuses a remote desktop session: " + created.error);
    session->remoteDesktopPath_ = objectPathOf(created);
    const BusObject remote{remoteDesktopService, session->remoteDesktopPath_};
    const auto id = busRef.property(remote, remoteDesktopInterface, "SessionId");
    if (!id || !g_variant_is_of_type(id.value.get(), G_VARIANT_TYPE_STRING)) {
        session->stop();
        throw GnomeBusError("the remote desktop session has no id: " + id.error);
    }
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "remote-desktop-session-id",
                          g_variant_new_string(g_variant_get_string(id.value.get(), nullptr)));
    const auto linked = busRef.call({screenCastService, "/org/gnome/Mutter/ScreenCast"}, "org.gnome.Mutter.ScreenCast",
                                    "CreateSession", g_variant_new("(a{sv})", &options), "(o)");
    if (!linked) {
        session->stop();
        throw GnomeBusError("mutter refuses a screen cast for the remote desktop session: " + linked.error);
    }
    session->screenCastPath_ = objectPathOf(linked);
    for (const auto& monitor : monitors) {
        const auto mode = std::find_if(monitor.modes.begin(), monitor.modes.end(),
                                       [](const MutterMonitor::Mode& candidate) { return candidate.current; });
        if (mode == monitor.modes.end() || monitor.scale <= 0) continue;
        GVariantBuilder recording;
        g_variant_builder_init(&recording, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&recording, "{sv}", "cursor-mode", g_variant_new_uint32(0));
        const auto stream =
            busRef.call({screenCastService, session->screenCastPath_}, screenCastSessionInterface, "RecordMonitor",
                        g_variant_new("(sa{sv})", monitor.connector.c_str(), &recording), "(o)");
        if (!stream) continue;
        session->streams_.push_back(
            {objectPathOf(stream),
             {monitor.x, monitor.y, double(mode->width) / monitor.scale, double(mode->height) / monitor.scale},
             monitor.scale});
    }

    const std::weak_ptr<Shared> weak = session->shared_;
    session->subscriptions_.push_back(busRef.subscribe(remoteDesktopService, remoteDesktopInterface, "Closed",
                                                       session->remoteDesktopPath_, [weak](GVariant*) {
                                                           if (const auto shared = weak.lock()) {
                                                               std::lock_guard locked(shared->mutex);
                                                               shared->closed = true;
                                                           }
                                                       }));
    session->subscriptions_.push_back(
        busRef.subscribe(remoteDesktopService, remoteDesktopInterface, "SelectionOwnerChanged",
                         session->remoteDesktopPath_, [weak](GVariant* parameters) {
                             const auto shared = weak.lock();
                             if (!shared || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(a{sv})"))) return;
                             GVariant* options = g_variant_get_child_value(parameters, 0);
                             std::vector<std::string> types;
                             const gchar** names = nullptr;
                             if (g_variant_lookup(options, "mime-types", "^a&s", &names)) {
                                 for (const gchar** name = names; *name; ++name) types.emplace_back(*name);
                                 g_free(names);
                             }
                             gboolean ours = FALSE;
                             g_variant_lookup(options, "session-is-owner", "b", &ours);
                             g_variant_unref(options);
                             std::lock_guard locked(shared->mutex);
                             shared->ownerTypes = std::move(types);
                             shared->ownsSelection = ours;
                             ++shared->ownerChanges;
                         }));
    // A reader of our clipboard asks for one type; it is written here on the
    // bus thread, bounded by the transfer deadline. The handler holds the
    // bus by a plain pointer: it runs only on the bus's own thread, which the
    // bus closes and ends before it goes. A shared pointer there would keep
    // the bus alive until GLib drops the handler, on that same thread, which
    // would then have to join itself.
    GnomeBus* const transferBus = session->bus_.get();
    const std::string path = session->remoteDesktopPath_;
    session->subscriptions_.push_back(busRef.subscribe(
        remoteDesktopService, remoteDesktopInterface, "SelectionTransfer", path,
        [weak, transferBus, path](GVariant* parameters) {
            const auto shared = weak.lock();
            if (!shared || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(su)"))) return;
            const gchar* type = nullptr;
            guint32 serial = 0;
            g_variant_get(parameters, "(&su)", &type, &serial);
            std::optional<std::vector<std::uint8_t>> data;
            {
                std::lock_guard locked(shared->mutex);
                if (const auto found = shared->offered.find(type); found != shared->offered.end()) data = found->second;
            }
            const BusObject remote{remoteDesktopService, path};
            bool written = false;
            if (data) {
                const auto opened = transferBus->callForFile(remote, remoteDesktopInterface, "SelectionWrite",
                                                             g_variant_new("(u)", serial), "(h)");
                const FileDescriptor file(opened.fd);
                written = file.fd >= 0 && writeAll(file.fd, *data, std::chrono::steady_clock::now() + transferDeadline);
            }
            transferBus->call(remote, remoteDesktopInterface, "SelectionWriteDone",
                              g_variant_new("(ub)", serial, written ? TRUE : FALSE), "()");
        }));

    const auto started = busRef.call(remote, remoteDesktopInterface, "Start", nullptr, "()");
    if (!started) {
        session->stop();
        throw GnomeBusError("the remote desktop session does not start: " + started.error);
    }
    GVariantBuilder clipboard;
    g_variant_builder_init(&clipboard, G_VARIANT_TYPE("a{sv}"));
    busRef.call(remote, remoteDesktopInterface, "EnableClipboard", g_variant_new("(a{sv})", &clipboard), "()");
    session->warmUp();
    return session;
}

RemoteDesktopSession::~RemoteDesktopSession() { stop(); }

void RemoteDesktopSession::stop() {
    for (const unsigned subscription : subscriptions_) bus_->unsubscribe(subscription);
    subscriptions_.clear();
    if (remoteDesktopPath_.empty()) return;
    // Stopping the remote desktop session stops the screen cast linked to it.
    bus_->call({remoteDesktopService, remoteDesktopPath_}, remoteDesktopInterface, "Stop", nullptr, "()");
    remoteDesktopPath_.clear();
}

void RemoteDesktopSession::warmUp() {
    // The seat creates each virtual device on its first event and loses that
    // event: these are harmless ones (a Shift tap, the pointer moved there
    // and back).
    key(warmUpKey, true);
    key(warmUpKey, false);
    notify("NotifyPointerMotionRelative", g_variant_new("(dd)", 1.0, 0.0));
    notify("NotifyPointerMotionRelative", g_variant_new("(dd)", -1.0, 0.0));
    clock_.sleep(warmUpSeconds);
}

bool RemoteDesktopSession::closed() const {
    std::lock_guard locked(shared_->mutex);
    return shared_->closed;
}

std::int64_t RemoteDesktopSession::ownerChanges() const {
    std::lock_guard locked(shared_->mutex);
    return shared_->ownerChanges;
}

bool RemoteDesktopSession::notify(const char* method, GVariant* parameters) {
    return static_cast<bool>(
        bus_->call({remoteDesktopService, remoteDesktopPath_}, remoteDesktopInterface, method, parameters, "()"));
}

bool RemoteDesktopSession::key(std::uint32_t evdevCode, bool pressed) {
    return notify("NotifyKeyboardKeycode", g_variant_new("(ub)", evdevCode, pressed ? TRUE : FALSE));
}

bool RemoteDesktopSession::keysym(std::uint32_t keysym, bool pressed) {
    return notify("NotifyKeyboardKeysym", g_variant_new("(ub)", keysym, pressed ? TRUE : FALSE));
}

bool RemoteDesktopSession::button(std::int32_t evdevButton, bool pressed) {
    return notify("NotifyPointerButton", g_variant_new("(ib)", evdevButton, pressed ? TRUE : FALSE));
}

bool RemoteDesktopSession::moveTo(Point location) {
    if (!std::isfinite(location.x) || !std::isfinite(location.y)) return false;
    for (const auto& stream : streams_) {
        const Rect& area = stream.points;
        if (location.x < area.x || location.y < area.y || location.x >= area.x + area.width ||
            location.y >= area.y + area.height) {
            continue;
        }
        return notify("NotifyPointerMotionAbsolute",
                      g_variant_new("(sdd)", stream.path.c_str(), (location.x - area.x) * stream.scale,
                                    (location.y - area.y) * stream.scale));
    }
    return false;
}

bool RemoteDesktopSession::scroll(std::uint32_t axis, std::int32_t steps) {
    return notify("NotifyPointerAxisDiscrete", g_variant_new("(ui)", axis, steps));
}

std::vector<std::string> RemoteDesktopSession::ownerTypes() const {
    std::lock_guard locked(shared_->mutex);
    return shared_->ownerTypes;
}

bool RemoteDesktopSession::ownsSelection() const {
    std::lock_guard locked(shared_->mutex);
    return shared_->ownsSelection;
}

SelectionReading RemoteDesktopSession::read(const std::string& mimeType, std::size_t maximumBytes,
                                            std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::milliseconds(millisecondsUntil(deadline));
    if (left.count() == 0) return {SelectionReading::Outcome::late, {}};
    const auto opened =
        bus_->callForFile({remoteDesktopService, remoteDesktopPath_}, remoteDesktopInterface, "SelectionRead",
                          g_variant_new("(s)", mimeType.c_str()), "(h)", std::min(left, GnomeBus::callTimeout));
    const FileDescriptor file(opened.fd);
    if (file.fd < 0) return {SelectionReading::Outcome::failed, {}};
    fcntl(file.fd, F_SETFL, fcntl(file.fd, F_GETFL) | O_NONBLOCK);
    SelectionReading reading;
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        pollfd waiting{file.fd, POLLIN, 0};
        if (poll(&waiting, 1, millisecondsUntil(deadline)) <= 0) return {SelectionReading::Outcome::late, {}};
        const ssize_t count = ::read(file.fd, buffer.data(), buffer.size());
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (count < 0) return {SelectionReading::Outcome::failed, {}};
        if (count == 0) break;
        if (reading.data.size() + std::size_t(count) > maximumBytes) return {SelectionReading::Outcome::tooLarge, {}};
        reading.data.insert(reading.data.end(), buffer.begin(), buffer.begin() + count);
    }
    reading.outcome = SelectionReading::Outcome::read;
    return reading;
}

bool RemoteDesktopSession::offer(std::map<std::string, std::vector<std::uint8_t>> contents) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    if (!contents.empty()) {
        GVariantBuilder types;
        g_variant_builder_init(&types, G_VARIANT_TYPE("as"));
        for (const auto& [type, data] : contents) g_variant_builder_add(&types, "s", type.c_str());
        g_variant_builder_add(&options, "{sv}", "mime-types", g_variant_builder_end(&types));
    }
    {
        std::lock_guard locked(shared_->mutex);
        shared_->offered = std::move(contents);
    }
    return static_cast<bool>(bus_->call({remoteDesktopService, remoteDesktopPath_}, remoteDesktopInterface,
                                        "SetSelection", g_variant_new("(a{sv})", &options), "()"));
}

}  // namespace zentrabo::platform
