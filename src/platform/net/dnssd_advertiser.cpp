#include "platform/net/dnssd_advertiser.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_operation.hpp"

#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zentrabo::platform {
namespace {

// A service name is one DNS label.
constexpr std::size_t maximumServiceNameBytes = 63;
// Names tried for one advertisement before a conflict is reported: the
// given one, then "Name (2)" up to "Name (100)".
constexpr int maximumNameAttempts = 100;

// Cuts before the UTF-8 character that would cross the limit.
std::string truncateUtf8(std::string_view text, std::size_t maximumBytes) {
    if (text.size() <= maximumBytes) {
        return std::string(text);
    }
    std::size_t end = maximumBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

// The name of the attempt-th try: the given name first, then the given name
// with " (attempt)" after it, shortened so that the whole stays one label.
std::string attemptedName(std::string_view name, int attempt) {
    if (attempt == 1) {
        return truncateUtf8(name, maximumServiceNameBytes);
    }
    const std::string suffix = " (" + std::to_string(attempt) + ")";
    return truncateUtf8(name, maximumServiceNameBytes - suffix.size()) + suffix;
}

struct StringListDeleter {
    void operator()(AvahiStringList* list) const { avahi_string_list_free(list); }
};

}  // namespace

class DnsServiceAdvertiser::Registration final : public detail::DnsServiceOperation {
public:
    Registration(asio::any_io_executor executor, DnsServiceAdvertisement advertisement, Handler handler)
        : DnsServiceOperation(std::move(executor)),
          advertisement_(std::move(advertisement)),
          handler_(std::move(handler)) {}

    void start() {
        std::string txt;
        if (const std::error_code error = encodeDnsServiceTxt(advertisement_.txt, txt)) {
            fail(error);
            return;
        }
        AvahiStringList* list = nullptr;
        if (!txt.empty() && avahi_string_list_parse(txt.data(), txt.size(), &list) != 0) {
            fail(makeDnsServiceError(AVAHI_ERR_INVALID_RECORD));
            return;
        }
        txt_.reset(list);
        run();
    }

private:
    void daemonReady(AvahiClient* client) override {
        // Each time the daemon is ready, the given name is tried first.
        attempt_ = 1;
        if (group_ == nullptr) group_ = avahi_entry_group_new(client, &onGroupState, this);
        if (group_ == nullptr) {
            failWithClientError(client);
            return;
        }
        publish();
    }

    void daemonBusy() override {
        // Withdrawn while the daemon renames its host; published again when it is ready.
        if (group_ != nullptr) avahi_entry_group_reset(group_);
    }

    void daemonLost(std::error_code error) override {
        if (group_ != nullptr) {
            avahi_entry_group_free(group_);
            group_ = nullptr;
        }
        deliver([this, error] { handler_(error, {}); });
    }

    // Adds the service under the current attempt's name and commits it; a
    // name already taken on this host moves on to the next at once.
    void publish() {
        AvahiClient* client = avahi_entry_group_get_client(group_);
        const std::string base =
            advertisement_.name.empty() ? std::string(avahi_client_get_host_name(client)) : advertisement_.name;
        for (; attempt_ <= maximumNameAttempts; ++attempt_) {
            name_ = attemptedName(base, attempt_);
            const int added = avahi_entry_group_add_service_strlst(
                group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags{}, name_.c_str(),
                advertisement_.type.c_str(), nullptr, nullptr, advertisement_.port, txt_.get());
            if (added == AVAHI_ERR_COLLISION) continue;
            const int committed = added == AVAHI_OK ? avahi_entry_group_commit(group_) : added;
            if (committed != AVAHI_OK) fail(makeDnsServiceError(committed));
            return;
        }
        fail(makeDnsServiceError(AVAHI_ERR_COLLISION));
    }

    static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context) {
        auto* self = static_cast<Registration*>(context);
        // A group callback may come during avahi_entry_group_new, before it returned.
        self->group_ = group;
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            self->deliver([self, name = self->name_] { self->handler_({}, name); });
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Another host holds the name: the next one, as users of DNS-SD expect.
            avahi_entry_group_reset(group);
            ++self->attempt_;
            self->publish();
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->failWithClientError(avahi_entry_group_get_client(group));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }

    void reportFailure(std::error_code error) override { handler_(error, {}); }

    DnsServiceAdvertisement advertisement_;
    Handler handler_;
    std::unique_ptr<AvahiStringList, StringListDeleter> txt_;
    AvahiEntryGroup* group_ = nullptr;
    int attempt_ = 1;
    std::string name_;
};

void DnsServiceAdvertiser::start(const DnsServiceAdvertisement& advertisement, Handler handler) {
    auto registration = std::make_shared<Registration>(executor(), advertisement, std::move(handler));
    replace(registration);
    registration->start();
}

}  // namespace zentrabo::platform
