#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "security/der.hpp"

// The pieces of an X.509 version 3 self-signed certificate for an EC P-256
// key, built on the DER encoder.
namespace zentrabo::DER {

using Clock = std::chrono::system_clock;

inline constexpr std::string_view oidCommonName = "2.5.4.3";
inline constexpr std::string_view oidEcPublicKey = "1.2.840.10045.2.1";
inline constexpr std::string_view oidPrime256v1 = "1.2.840.10045.3.1.7";
inline constexpr std::string_view oidEcdsaWithSha256 = "1.2.840.10045.4.3.2";
inline constexpr std::string_view oidBasicConstraints = "2.5.29.19";
inline constexpr std::string_view oidKeyUsage = "2.5.29.15";
inline constexpr std::string_view oidExtKeyUsage = "2.5.29.37";
inline constexpr std::string_view oidServerAuth = "1.3.6.1.5.5.7.3.1";
inline constexpr std::string_view oidClientAuth = "1.3.6.1.5.5.7.3.2";

// Validity: one hour back, 3650 days ahead.
inline constexpr std::chrono::seconds validityBackdating{3600};
inline constexpr std::chrono::seconds validityDuration{315360000};

using SerialBytes = std::array<std::uint8_t, 16>;

// Name = SEQUENCE { SET { SEQUENCE { commonName, UTF8String } } }.
Bytes name(std::string_view commonName);

// A certificate time: UTCTime "yyMMddHHmmssZ" for the years 1950 to 2049,
// GeneralizedTime "yyyyMMddHHmmssZ" outside them, as X.509 requires.
Bytes time(Clock::time_point when);

// SEQUENCE { notBefore, notAfter } around one reading of the clock.
Bytes validity(Clock::time_point now);

// SubjectPublicKeyInfo of a P-256 public key in X9.63 uncompressed form.
Bytes subjectPublicKeyInfo(ByteView publicKeyX963);

// Extension = SEQUENCE { OID, [BOOLEAN TRUE when critical], OCTET STRING }.
Bytes extension(std::string_view oid, bool critical, ByteView value);

// SEQUENCE { OID ecdsa-with-SHA256 } with no parameters.
Bytes ecdsaWithSha256AlgorithmIdentifier();

// The 16 serial bytes made positive and non-zero.
SerialBytes serialNumber(SerialBytes randomBytes);

// 16 bytes from the never-failing random source, made positive and non-zero.
SerialBytes serialNumber();

// TBSCertificate: version 3, serial, signature algorithm, issuer = subject =
// the common name, validity from `now`, the key, and the three extensions.
Bytes tbsCertificate(ByteView publicKeyX963, std::string_view commonName, Clock::time_point now,
                     const SerialBytes& serial);

}  // namespace zentrabo::DER
