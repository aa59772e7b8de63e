#include "security/der_certificate.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/random/random_bytes.hpp"

namespace zentrabo::DER {
namespace {

std::tm utcCalendar(Clock::time_point when) {
    const std::time_t seconds = Clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
    std::tm calendar{};
    if (gmtime_r(&seconds, &calendar) == nullptr) {
        throw std::out_of_range("Certificate time out of range");
    }
    return calendar;
}

}  // namespace

Bytes name(std::string_view commonName) {
    const Bytes attribute =
        constructed({objectIdentifier(oidCommonName), tlv(tagUtf8String, platform::bytesOf(commonName))});
    return constructed({constructed({attribute}, tagSet)});
}

Bytes time(Clock::time_point when) {
    const std::tm calendar = utcCalendar(when);
    // A system_clock time point stays within the years 1677 to 2262, so four
    // digits always suffice.
    const int year = calendar.tm_year + 1900;
    char text[16];
    const bool utc = year >= 1950 && year < 2050;
    const int length =
        utc ? std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02dZ", year % 100, calendar.tm_mon + 1,
                            calendar.tm_mday, calendar.tm_hour, calendar.tm_min, calendar.tm_sec)
            : std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02dZ", year, calendar.tm_mon + 1, calendar.tm_mday,
                            calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
    return tlv(utc ? tagUtcTime : tagGeneralizedTime,
               ByteView(reinterpret_cast<const std::uint8_t*>(text), static_cast<std::size_t>(length)));
}

Bytes validity(Clock::time_point now) {
    return constructed({time(now - validityBackdating), time(now + validityDuration)});
}

Bytes subjectPublicKeyInfo(ByteView publicKeyX963) {
    return constructed(
        {constructed({objectIdentifier(oidEcPublicKey), objectIdentifier(oidPrime256v1)}), bitString(publicKeyX963)});
}

Bytes extension(std::string_view oid, bool critical, ByteView value) {
    static constexpr std::uint8_t booleanTrue[] = {tagBoolean, 0x01, 0xFF};
    const Bytes identifier = objectIdentifier(oid);
    const Bytes octets = tlv(tagOctetString, value);
    if (critical) return constructed({identifier, booleanTrue, octets});
    return constructed({identifier, octets});
}

Bytes ecdsaWithSha256AlgorithmIdentifier() { return constructed({objectIdentifier(oidEcdsaWithSha256)}); }

SerialBytes serialNumber(SerialBytes bytes) {
    bytes[0] &= 0x7F;
    bool allZero = true;
    for (const std::uint8_t byte : bytes) allZero = allZero && byte == 0;
    if (allZero) bytes.back() = 1;
    return bytes;
}

SerialBytes serialNumber() {
    SerialBytes bytes{};
    platform::fillRandomNeverFailing(bytes);
    return serialNumber(bytes);
}

Bytes tbsCertificate(ByteView publicKeyX963, std::string_view commonName, Clock::time_point now,
                     const SerialBytes& serial) {
    static constexpr std::uint8_t version3[] = {tagContext0, 0x03, tagInteger, 0x01, 0x02};
    static constexpr std::uint8_t notCertificateAuthority[] = {tagSequence, 0x00};
    static constexpr std::uint8_t digitalSignatureOnly[] = {tagBitString, 0x02, 0x07, 0x80};
    const Bytes subject = name(commonName);
    const Bytes extensions =
        constructed({extension(oidBasicConstraints, true, notCertificateAuthority),
                     extension(oidKeyUsage, true, digitalSignatureOnly),
                     extension(oidExtKeyUsage, false,
                               constructed({objectIdentifier(oidServerAuth), objectIdentifier(oidClientAuth)}))});
    return constructed({version3, integer(ByteView(serial)), ecdsaWithSha256AlgorithmIdentifier(), subject,
                        validity(now), subject, subjectPublicKeyInfo(publicKeyX963),
                        constructed({extensions}, tagContext3)});
}

}  // namespace zentrabo::DER
