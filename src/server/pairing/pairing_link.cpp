#include "server/pairing/pairing_link.hpp"

#include <string_view>
#include <utility>

#include "platform/imaging/image.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/imaging/qr_code.hpp"
#include "platform/text/percent_encoding.hpp"

namespace zentrabo {
namespace {

class QueryBuilder {
public:
    explicit QueryBuilder(std::string prefix) : text_(std::move(prefix)) {}

    void add(std::string_view name, std::string_view value) {
        if (!first_) text_ += '&';
        first_ = false;
        text_ += name;
        text_ += '=';
        text_ += platform::percentEncodeQueryValue(value);
    }

    std::string take() { return std::move(text_); }

private:
    std::string text_;
    bool first_ = true;
};

std::vector<std::uint8_t> blankImagePng() {
    return platform::encodePng(platform::RgbaImage(pairingQRCodePointSize, pairingQRCodePointSize, 0xFFFFFFFFu));
}

}  // namespace

std::string pairingLink(const PairingLinkFields& fields) {
    QueryBuilder query("zentrabo://pair?");
    query.add("service", fields.service);
    query.add("code", fields.code);
    if (fields.nonce) query.add("nonce", *fields.nonce);
    if (fields.host && fields.port) {
        query.add("host", *fields.host);
        query.add("port", std::to_string(*fields.port));
    }
    if (fields.fingerprint) query.add("fp", *fields.fingerprint);
    if (fields.relay) {
        query.add("relayHost", fields.relay->host);
        query.add("relayPort", std::to_string(fields.relay->port));
        query.add("relayID", fields.relay->deviceID);
    }
    return query.take();
}

std::optional<platform::QrCode> encodePairingQRCode(std::string_view link) {
    try {
        return platform::QrCode::encode(link, platform::QrErrorCorrection::medium);
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

std::vector<std::uint8_t> pairingQRCodePng(const std::optional<platform::QrCode>& code) {
    if (!code) return blankImagePng();
    try {
        return code->png(pairingQRCodeScale);
    } catch (const platform::ImagingError&) {
        return blankImagePng();
    }
}

}  // namespace zentrabo
