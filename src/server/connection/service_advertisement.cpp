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
    listener_.setAdvertisement({ServiceAdvertisementState::Phase::registering, {}});
    // The advertiser runs only while this object holds it.
    advertiser_->start(advertisement, [this](std::error_code error, const std::string& name) {
        if (error) {
            const ServiceAdvertisementState failed{ServiceAdvertisementState::Phase::failed, error.message()};
            // The advertiser retries every few seconds while the daemon is
            // missing: the log hears of the failure once, not at every try.
            if (*listener_.advertisement() == failed) return;
            ZENTRABO_LOG("Service advertisement failed: " + error.message());
            listener_.setAdvertisement(failed);
        } else {
            ZENTRABO_LOG("Service advertised as " + platform::escapeForLog(name));
            listener_.setRegisteredServiceName(name);
            listener_.setAdvertisement({ServiceAdvertisementState::Phase::advertised, {}});
        }
    });
}

void ServiceAdvertisement::stop() {
    advertiser_.reset();
    listener_.setAdvertisement({});
}

}  // namespace zentrabo
