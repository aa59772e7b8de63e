#include "platform/net/dnssd_advertiser.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_operation.hpp"

#include <arpa/inet.h>

#include <string_view>
#include <utility>

namespace zentrabo::platform {
namespace {

// A service name is one DNS label.
constexpr std::size_t maximumServiceNameBytes = 63;

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
    const std::string name = truncateUtf8(advertisement.name, maximumServiceNameBytes);
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error = DNSServiceRegister(
        &ref, 0, kDNSServiceInterfaceIndexAny, name.empty() ? nullptr : name.c_str(),
        advertisement.type.c_str(), nullptr, nullptr, htons(advertisement.port),
        static_cast<std::uint16_t>(txt.size()), txt.empty() ? nullptr : txt.data(), &onReply, this);
    if (error != kDNSServiceErr_NoError) {
      fail(makeDnsServiceError(error));
      return;
    }
    run(ref);
  }

 private:
  static void DNSSD_API onReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType error,
                                const char* name, const char*, const char*, void* context) {
    auto* self = static_cast<Registration*>(context);
    if (error != kDNSServiceErr_NoError) {
      self->fail(makeDnsServiceError(error));
      return;
    }
    self->deliver([self, registered = std::string(name != nullptr ? name : "")] {
      self->handler_({}, registered);
    });
  }

  void reportFailure(std::error_code error) override { handler_(error, {}); }

  Handler handler_;
};

void DnsServiceAdvertiser::start(const DnsServiceAdvertisement& advertisement, Handler handler) {
  auto registration = std::make_shared<Registration>(executor(), std::move(handler));
  replace(registration);
  registration->start(advertisement);
}

}  // namespace zentrabo::platform
