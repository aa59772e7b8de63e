#pragma once
// A connection of our own to the session's accessibility bus, and the calls
// the applications' trees are read through. Owning it (rather than a
// library's process-wide one) is what lets a bus that went away and came
// back be reached again: a closed connection is replaced by a new one to the
// address the launcher gives then, and nothing of the old bus is kept.
// Calls are synchronous, each bounded by the timeout set last; they may be
// made from any one thread at a time.
#include <gio/gio.h>

#include <chrono>
#include <compare>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo::platform {

// An accessible object: its application's name on the bus and its path.
struct AccessibleRef {
    std::string bus;
    std::string path;
    auto operator<=>(const AccessibleRef&) const = default;
};

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using OwnedVariant = std::unique_ptr<GVariant, VariantUnref>;

// What a call gave: its reply, or why there is none.
struct AtspiReply {
    enum class Failure { none, unsupported, failed, closed };
    OwnedVariant value;
    Failure failure = Failure::none;
    explicit operator bool() const { return failure == Failure::none; }
};

// One call of a batch.
struct AtspiCall {
    AccessibleRef object;
    const char* interface;
    const char* method;
    GVariant* parameters;
    const char* replyType;
};

class AtspiConnection {
public:
    // Connects to the bus the session's launcher names (or AT_SPI_BUS_ADDRESS,
    // as the applications honour it); none when it cannot be reached.
    static std::shared_ptr<AtspiConnection> open();
    ~AtspiConnection();
    AtspiConnection(const AtspiConnection&) = delete;
    AtspiConnection& operator=(const AtspiConnection&) = delete;

    // The bus hung up (it ended or restarted); thread-safe.
    bool isClosed() const;
    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    // A method of the object; replyType is the reply's tuple type.
    AtspiReply call(const AccessibleRef& object, const char* interface, const char* method, GVariant* parameters,
                    const char* replyType);
    // The calls sent all at once and their replies in the same order: an
    // application answers a batch in about a fifth of the time the same
    // calls take one after another. Each call is bounded by the timeout.
    std::vector<AtspiReply> callAll(const std::vector<AtspiCall>& calls);
    // A property of the object, unwrapped from its variant.
    AtspiReply property(const AccessibleRef& object, const char* interface, const char* name);
    // Whether the name has an owner on the bus; none when the bus did not say.
    std::optional<bool> hasOwner(const std::string& bus);
    // The process that owns the name; none when the bus did not say.
    std::optional<ProcessID> processOf(const std::string& bus);

private:
    explicit AtspiConnection(GDBusConnection* connection) : connection_(connection) {}
    AtspiReply callBus(const char* method, GVariant* parameters, const char* replyType);

    GDBusConnection* connection_;
    std::chrono::milliseconds timeout_{1000};
};

}  // namespace zentrabo::platform
