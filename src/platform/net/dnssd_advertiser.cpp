#include "platform/net/dnssd_advertiser.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_operation.hpp"

#include <arpa/inet.h>

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

}  // namespace

class DnsServiceAdvertiser::Registration final : public detail::DnsServiceOperation {
public:
    Registration(asio::any_io_executor executor, Handler handler)
        : DnsServiceOperation(std::move(executor)), handler_(std::move(handler)) {}

    void start(const DnsServiceAdvertisement& advertisement) {
        std::string txt;
        if (std::error_code error = encodeDnsServiceTxt(advertisement.txt, txt)) {
            fail(error);
            return;
        }
        const std::string& name = advertisement.name;
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error = DNSServiceRegister(
            &ref, 0, kDNSServiceInterfaceIndexAny, name.empty() ? nullptr : name.c_str(), advertisement.type.c_str(),
            nullptr, nullptr, htons(advertisement.port), static_cast<std::uint16_t>(txt.size()),
            txt.empty() ? nullptr : txt.data(), &onReply, this);
        if (error != kDNSServiceErr_NoError) {
            fail(makeDnsServiceError(error));
            return;
        }
        run(ref);
    }

private:
    static void DNSSD_API onReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType error, const char* name,
                                  const char*, const char*, void* context) {
        auto* self = static_cast<Registration*>(context);
        if (error != kDNSServiceErr_NoError) {
            self->fail(makeDnsServiceError(error));
            return;
        }
        self->deliver(
            [self, registered = std::string(name != nullptr ? name : "")] { self->handler_({}, registered); });
    }

    void reportFailure(std::error_code error) override { handler_(error, {}); }

    Handler handler_;
};

void DnsServiceAdvertiser::start(const DnsServiceAdvertisement& advertisement, Handler handler) {
    startAttempt(advertisement, 1, std::make_shared<Handler>(std::move(handler)));
}

void DnsServiceAdvertiser::startAttempt(const DnsServiceAdvertisement& advertisement, int attempt,
                                        std::shared_ptr<Handler> handler) {
    DnsServiceAdvertisement attempted = advertisement;
    attempted.name = attemptedName(advertisement.name, attempt);
    // The daemon renames only services named after the host; a name of our
    // own that another service holds is reported as a conflict, and the
    // advertisement carries on under the next name, as users of DNS-SD expect.
    // The registration runs only while this advertiser holds it, so `this` is
    // alive whenever its handler runs.
    auto registration = std::make_shared<Registration>(
        executor(), [this, advertisement, attempt, handler](std::error_code error, const std::string& name) {
            if (error == makeDnsServiceError(kDNSServiceErr_NameConflict) && !advertisement.name.empty() &&
                attempt < maximumNameAttempts) {
                startAttempt(advertisement, attempt + 1, handler);
                return;
            }
            (*handler)(error, name);
        });
    replace(registration);
    registration->start(attempted);
}

}  // namespace zentrabo::platform
