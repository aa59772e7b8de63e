#include "screenstream/video_access_unit.hpp"

#include "screenstream/codec/annex_b.hpp"

namespace zentrabo {
namespace {

enum class NalRole { vps, sps, pps, idrSlice, other };

// H.264 keeps the type in the low five bits of the first header byte.
NalRole h264Role(std::uint8_t header) {
    switch (header & 0x1F) {
    case 5:
        return NalRole::idrSlice;
    case 7:
        return NalRole::sps;
    case 8:
        return NalRole::pps;
    default:
        return NalRole::other;
    }
}

// HEVC keeps it in bits 1 to 6; types 19 and 20 are the two IDR kinds.
NalRole hevcRole(std::uint8_t header) {
    switch ((header >> 1) & 0x3F) {
    case 19:
    case 20:
        return NalRole::idrSlice;
    case 32:
        return NalRole::vps;
    case 33:
        return NalRole::sps;
    case 34:
        return NalRole::pps;
    default:
        return NalRole::other;
    }
}

void keepFirst(std::optional<Data>& slot, std::span<const std::uint8_t> unit) {
    if (!slot) slot.emplace(unit.begin(), unit.end());
}

}  // namespace

VideoAccessUnit makeVideoAccessUnit(RemoteScreenStreamVideoCodec codec, std::span<const std::uint8_t> annexB) {
    const bool hevc = codec == RemoteScreenStreamVideoCodec::hevc;
    const auto units = annexBNalUnits(annexB);

    std::size_t payloadSize = 0;
    for (const auto unit : units) payloadSize += nalUnitLengthPrefixSize + unit.size();
    VideoAccessUnit accessUnit;
    accessUnit.payload.reserve(payloadSize);

    std::optional<Data> vps, sps, pps;
    for (const auto unit : units) {
        switch (hevc ? hevcRole(unit[0]) : h264Role(unit[0])) {
        case NalRole::vps:
            keepFirst(vps, unit);
            break;
        case NalRole::sps:
            keepFirst(sps, unit);
            break;
        case NalRole::pps:
            keepFirst(pps, unit);
            break;
        case NalRole::idrSlice:
            accessUnit.holdsIdrSlice = true;
            appendLengthPrefixedNalUnit(accessUnit.payload, unit);
            break;
        case NalRole::other:
            appendLengthPrefixedNalUnit(accessUnit.payload, unit);
            break;
        }
    }
    if (sps && pps && (vps || !hevc)) {
        accessUnit.parameterSets =
            VideoParameterSets{hevc ? std::move(vps) : std::nullopt, std::move(*sps), std::move(*pps)};
    }
    return accessUnit;
}

}  // namespace zentrabo
