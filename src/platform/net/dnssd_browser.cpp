#include "platform/net/dnssd_browser.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_operation.hpp"

#include <arpa/inet.h>

#include <string_view>
#include <utility>

namespace zentrabo::platform {
namespace {

std::string textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

class DnsServiceBrowser::Browse final : public detail::DnsServiceOperation {
public:
    Browse(asio::any_io_executor executor, Handler handler)
        : DnsServiceOperation(std::move(executor)), handler_(std::move(handler)) {}

    void start(const std::string& type) {
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error =
            DNSServiceBrowse(&ref, 0, kDNSServiceInterfaceIndexAny, type.c_str(), nullptr, &onReply, this);
        if (error != kDNSServiceErr_NoError) {
            fail(makeDnsServiceError(error));
            return;
        }
        run(ref);
    }

private:
    static void DNSSD_API onReply(DNSServiceRef, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                  DNSServiceErrorType error, const char* name, const char* type, const char* domain,
                                  void* context) {
        auto* self = static_cast<Browse*>(context);
        if (error != kDNSServiceErr_NoError) {
            self->fail(makeDnsServiceError(error));
            return;
        }
        DnsServiceInstance instance{textOrEmpty(name), textOrEmpty(type), textOrEmpty(domain), interfaceIndex};
        const bool added = (flags & kDNSServiceFlagsAdd) != 0;
        self->deliver([self, instance = std::move(instance), added] { self->handler_({}, instance, added); });
    }

    void reportFailure(std::error_code error) override { handler_(error, {}, false); }

    Handler handler_;
};

class DnsServiceResolver::Resolve final : public detail::DnsServiceOperation {
public:
    Resolve(asio::any_io_executor executor, Handler handler)
        : DnsServiceOperation(std::move(executor)), handler_(std::move(handler)) {}

    void start(const DnsServiceInstance& instance) {
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error =
            DNSServiceResolve(&ref, 0, instance.interfaceIndex, instance.name.c_str(), instance.type.c_str(),
                              instance.domain.c_str(), &onReply, this);
        if (error != kDNSServiceErr_NoError) {
            fail(makeDnsServiceError(error));
            return;
        }
        run(ref);
    }

private:
    static void DNSSD_API onReply(DNSServiceRef, DNSServiceFlags, std::uint32_t, DNSServiceErrorType error,
                                  const char* fullName, const char* hostTarget, std::uint16_t port,
                                  std::uint16_t txtLength, const unsigned char* txt, void* context) {
        auto* self = static_cast<Resolve*>(context);
        if (error != kDNSServiceErr_NoError) {
            self->fail(makeDnsServiceError(error));
            return;
        }
        ResolvedDnsService service{textOrEmpty(fullName), textOrEmpty(hostTarget), ntohs(port), {}};
        if (txt != nullptr) {
            service.txt = decodeDnsServiceTxt(std::string_view(reinterpret_cast<const char*>(txt), txtLength));
        }
        self->deliver([self, service = std::move(service)] { self->handler_({}, service); });
    }

    void reportFailure(std::error_code error) override { handler_(error, {}); }

    Handler handler_;
};

void DnsServiceBrowser::start(const std::string& type, Handler handler) {
    auto browse = std::make_shared<Browse>(executor(), std::move(handler));
    replace(browse);
    browse->start(type);
}

void DnsServiceResolver::start(const DnsServiceInstance& instance, Handler handler) {
    auto resolve = std::make_shared<Resolve>(executor(), std::move(handler));
    replace(resolve);
    resolve->start(instance);
}

}  // namespace zentrabo::platform
