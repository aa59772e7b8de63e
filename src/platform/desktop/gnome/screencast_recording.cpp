#include "platform/desktop/gnome/screencast_recording.hpp"

#include <condition_variable>
#include <mutex>

#include "platform/desktop/capture_stream.hpp"

namespace zentrabo::platform {

namespace {

constexpr const char* screenCastService = "org.gnome.Mutter.ScreenCast";
const BusObject screenCast{screenCastService, "/org/gnome/Mutter/ScreenCast"};
constexpr const char* sessionInterface = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char* streamInterface = "org.gnome.Mutter.ScreenCast.Stream";
// ScreenCast's cursor modes.
constexpr guint32 cursorHidden = 0;
constexpr guint32 cursorEmbedded = 1;

GVariant* emptyOptions() { return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0); }

std::string objectPath(const BusReply& reply) {
    const gchar* path = nullptr;
    g_variant_get(reply.value.get(), "(&o)", &path);
    return path;
}

// The node id the stream announces once started.
struct NodeWait {
    std::mutex mutex;
    std::condition_variable announced;
    std::optional<std::uint32_t> node;
};

}  // namespace

std::optional<std::uint32_t> ScreenCastRecording::screenCastVersion(GnomeBus& bus) {
    return bus.version(screenCast, screenCastService);
}

std::unique_ptr<ScreenCastRecording> ScreenCastRecording::ofMonitor(std::shared_ptr<GnomeBus> bus,
                                                                    const std::string& connector, Size size,
                                                                    bool showsCursor) {
    std::unique_ptr<ScreenCastRecording> recording(new ScreenCastRecording(std::move(bus)));
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "cursor-mode",
                          g_variant_new_uint32(showsCursor ? cursorEmbedded : cursorHidden));
    recording->start("RecordMonitor", g_variant_new("(sa{sv})", connector.c_str(), &options), size);
    return recording;
}

std::unique_ptr<ScreenCastRecording> ScreenCastRecording::ofWindow(std::shared_ptr<GnomeBus> bus, std::uint64_t window,
                                                                   Size size, FrameInsets insets, bool showsCursor) {
    std::unique_ptr<ScreenCastRecording> recording(new ScreenCastRecording(std::move(bus)));
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "window-id", g_variant_new_uint64(window));
    g_variant_builder_add(&options, "{sv}", "cursor-mode",
                          g_variant_new_uint32(showsCursor ? cursorEmbedded : cursorHidden));
    recording->start("RecordWindow", g_variant_new("(a{sv})", &options), size, insets);
    return recording;
}

void ScreenCastRecording::start(const char* method, GVariant* parameters, Size size, FrameInsets insets) {
    g_variant_ref_sink(parameters);
    const VariantPointer held(parameters);
    const auto created =
        bus_->call(screenCast, screenCastService, "CreateSession", g_variant_new("(@a{sv})", emptyOptions()), "(o)");
    if (!created) throw ScreenCaptureError("The screen cannot be recorded: " + created.error);
    session_ = objectPath(created);
    const BusObject session{screenCastService, session_};
    const auto recorded = bus_->call(session, sessionInterface, method, held.get(), "(o)");
    if (!recorded) {
        stopSession();
        throw captureContentUnavailable();
    }
    const std::string stream = objectPath(recorded);
    auto wait = std::make_shared<NodeWait>();
    const unsigned subscription =
        bus_->subscribe(screenCastService, streamInterface, "PipeWireStreamAdded", stream, [wait](GVariant* values) {
            guint32 node = 0;
            if (!g_variant_is_of_type(values, G_VARIANT_TYPE("(u)"))) return;
            g_variant_get(values, "(u)", &node);
            std::lock_guard lock(wait->mutex);
            wait->node = node;
            wait->announced.notify_all();
        });
    const auto started = bus_->call(session, sessionInterface, "Start", nullptr, "()");
    std::optional<std::uint32_t> node;
    if (started) {
        std::unique_lock lock(wait->mutex);
        wait->announced.wait_for(lock, nodeTimeout, [&] { return wait->node.has_value(); });
        node = wait->node;
    }
    bus_->unsubscribe(subscription);
    if (!node) {
        stopSession();
        throw ScreenCaptureError("The screen recording did not start: " +
                                 (started ? std::string("no stream came") : started.error));
    }
    try {
        video_ = std::make_unique<PipewireVideoStream>(*node, static_cast<std::uint32_t>(size.width),
                                                       static_cast<std::uint32_t>(size.height), insets);
    } catch (const ScreenCaptureError&) {
        stopSession();
        throw;
    }
}

void ScreenCastRecording::stopSession() {
    if (session_.empty()) return;
    bus_->call({screenCastService, session_}, sessionInterface, "Stop", nullptr, "()");
    session_.clear();
}

ScreenCastRecording::~ScreenCastRecording() {
    // The consumer goes first, so mutter never waits on a reader that is gone.
    video_.reset();
    stopSession();
}

}  // namespace zentrabo::platform
