#include "server/connection/service_advertisement.hpp"

#include <string>

#include "model/diagnostic_log.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/text/log_escape.hpp"

namespace zentrabo {

void ServiceAdvertisement::advertise(std::uint16_t port) {
    const auto& fingerprint = *listener_.serverCertificateFingerprint();
    if (!fingerprint) return;
    platform::DnsServiceAdvertisement advertisement;
    advertisement.name = *listener_.serviceName();
    advertisement.type = std::string(HalvardineProtocol::serviceType);
    advertisement.port = port;
    advertisement.txt = {
        {"fp", *fingerprint},
        {"pv", std::to_string(HalvardineProtocol::currentVersion)},
        {"minClientPV", std::to_string(HalvardineProtocol::minimumSupportedClientVersion)},
    };
    advertiser_ = std::make_unique<platform::DnsServiceAdvertiser>(mainLoop_);
    advertiser_->start(advertisement, [](std::error_code error, const std::string& name) {
        if (error) {
            ZENTRABO_LOG("Service advertisement failed: " + error.message());
        } else {
            ZENTRABO_LOG("Service advertised as " + platform::escapeForLog(name));
        }
    });
}

}  // namespace zentrabo
