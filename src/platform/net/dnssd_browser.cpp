#include "platform/net/dnssd_browser.hpp"

#include "platform/net/dnssd_operation.hpp"

#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/domain.h>
#include <avahi-common/strlst.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zentrabo::platform {
namespace {

std::string textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The record's wire form, read by the one decoder of received TXT records.
DnsServiceTxt txtOf(AvahiStringList* list) {
    if (list == nullptr) return {};
    std::vector<char> bytes(avahi_string_list_serialize(list, nullptr, 0));
    avahi_string_list_serialize(list, bytes.data(), bytes.size());
    return decodeDnsServiceTxt(std::string_view(bytes.data(), bytes.size()));
}

}  // namespace

class DnsServiceBrowser::Browse final : public detail::DnsServiceOperation {
public:
    Browse(asio::any_io_executor executor, std::string type, Handler handler)
        : DnsServiceOperation(std::move(executor)), type_(std::move(type)), handler_(std::move(handler)) {}

private:
    void daemonReady(AvahiClient* client) override {
        if (browser_ != nullptr) return;
        browser_ = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type_.c_str(), nullptr,
                                             AvahiLookupFlags{}, &onEvent, this);
        if (browser_ == nullptr) failWithClientError(client);
    }

    void daemonLost(std::error_code error) override {
        if (browser_ != nullptr) {
            avahi_service_browser_free(browser_);
            browser_ = nullptr;
        }
        deliver([this, error] { handler_(error, {}, false); });
    }

    static void onEvent(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                        AvahiLookupResultFlags, void* context) {
        auto* self = static_cast<Browse*>(context);
        switch (event) {
        case AVAHI_BROWSER_NEW:
        case AVAHI_BROWSER_REMOVE: {
            DnsServiceInstance instance{textOrEmpty(name), textOrEmpty(type), textOrEmpty(domain), interface, protocol};
            const bool added = event == AVAHI_BROWSER_NEW;
            self->deliver([self, instance = std::move(instance), added] { self->handler_({}, instance, added); });
            break;
        }
        case AVAHI_BROWSER_FAILURE:
            self->failWithClientError(avahi_service_browser_get_client(browser));
            break;
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
        case AVAHI_BROWSER_ALL_FOR_NOW:
            break;
        }
    }

    void reportFailure(std::error_code error) override { handler_(error, {}, false); }

    std::string type_;
    Handler handler_;
    AvahiServiceBrowser* browser_ = nullptr;
};

class DnsServiceResolver::Resolve final : public detail::DnsServiceOperation {
public:
    Resolve(asio::any_io_executor executor, DnsServiceInstance instance, Handler handler)
        : DnsServiceOperation(std::move(executor)), instance_(std::move(instance)), handler_(std::move(handler)) {}

private:
    void daemonReady(AvahiClient* client) override {
        if (resolver_ != nullptr) return;
        resolver_ = avahi_service_resolver_new(client, instance_.interfaceIndex, instance_.protocol,
                                               instance_.name.c_str(), instance_.type.c_str(), instance_.domain.c_str(),
                                               AVAHI_PROTO_UNSPEC, AvahiLookupFlags{}, &onEvent, this);
        if (resolver_ == nullptr) failWithClientError(client);
    }

    // A resolve answers once; a daemon that is not there ends it.
    void daemonLost(std::error_code error) override {
        resolver_ = nullptr;  // freed with the client
        fail(error);
    }

    static void onEvent(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                        const char* name, const char* type, const char* domain, const char* hostName,
                        const AvahiAddress*, std::uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags,
                        void* context) {
        auto* self = static_cast<Resolve*>(context);
        if (event != AVAHI_RESOLVER_FOUND) {
            self->failWithClientError(avahi_service_resolver_get_client(resolver));
            return;
        }
        char fullName[AVAHI_DOMAIN_NAME_MAX];
        if (avahi_service_name_join(fullName, sizeof fullName, name, type, domain) != 0) fullName[0] = '\0';
        ResolvedDnsService service{fullName, textOrEmpty(hostName), port, txtOf(txt)};
        self->deliver([self, service = std::move(service)] { self->handler_({}, service); });
    }

    void reportFailure(std::error_code error) override { handler_(error, {}); }

    DnsServiceInstance instance_;
    Handler handler_;
    AvahiServiceResolver* resolver_ = nullptr;
};

void DnsServiceBrowser::start(const std::string& type, Handler handler) {
    auto browse = std::make_shared<Browse>(executor(), type, std::move(handler));
    replace(browse);
    browse->run();
}

void DnsServiceResolver::start(const DnsServiceInstance& instance, Handler handler) {
    auto resolve = std::make_shared<Resolve>(executor(), instance, std::move(handler));
    replace(resolve);
    resolve->run();
}

}  // namespace zentrabo::platform
