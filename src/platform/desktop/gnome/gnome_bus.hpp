#pragma once
// The GNOME session's bus: one GDBus connection that every service of the
// backend shares (a GDBus connection may be used from any thread), every
// call bounded by its timeout, and one thread of its own that delivers the
// signals the services subscribe to.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <gio/gio.h>

namespace zentrabo::platform {

struct VariantRelease {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPointer = std::unique_ptr<GVariant, VariantRelease>;

// A method call's reply (its out arguments as a tuple), or why there is none.
struct BusReply {
    VariantPointer value;
    std::string error;
    explicit operator bool() const { return value != nullptr; }
};

// An object of a service on the bus.
struct BusObject {
    std::string service;
    std::string path;
};

class GnomeBusError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class GnomeBus {
public:
    // What a call waits for its reply unless told otherwise; the connection
    // itself is given as long.
    static constexpr std::chrono::milliseconds callTimeout{2000};

    // Connects to the session bus the environment names. Throws GnomeBusError
    // saying why when there is none or it does not answer in time.
    static std::shared_ptr<GnomeBus> connect();
    ~GnomeBus();
    GnomeBus(const GnomeBus&) = delete;
    GnomeBus& operator=(const GnomeBus&) = delete;

    // Calls a method; parameters is a tuple (a floating reference is taken)
    // or null, replyType the reply's tuple type.
    BusReply call(const BusObject& object, const char* interface, const char* method, GVariant* parameters,
                  const char* replyType, std::chrono::milliseconds timeout = callTimeout);
    // Calls a method whose reply hands over one file descriptor (its first
    // handle), which the caller then owns; fd is -1 when there is none.
    struct FileReply {
        BusReply reply;
        int fd = -1;
    };
    FileReply callForFile(const BusObject& object, const char* interface, const char* method, GVariant* parameters,
                          const char* replyType, std::chrono::milliseconds timeout = callTimeout);
    // A property's value (not wrapped in a tuple).
    BusReply property(const BusObject& object, const char* interface, const char* name);
    // An interface's "Version" property (signed or unsigned); none when the
    // service does not answer or has none.
    std::optional<std::uint32_t> version(const BusObject& object, const char* interface);

    // Runs handler with each signal's parameters on the bus thread until the
    // subscription is dropped. handler must not call unsubscribe.
    using SignalHandler = std::function<void(GVariant* parameters)>;
    unsigned subscribe(const std::string& service, const char* interface, const char* signal, const std::string& path,
                       SignalHandler handler);
    void unsubscribe(unsigned subscription);

private:
    GnomeBus();
    // Runs work on the bus thread and waits for it.
    void onBusThread(const std::function<void()>& work);

    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    std::thread thread_;
};

}  // namespace zentrabo::platform
