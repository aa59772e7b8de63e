#pragma once
// One encoded picture as the stream carries it: the parameter sets lifted
// out for the configuration frame, everything else (SEI, slices) in the
// video payload behind 4-byte lengths.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/data.hpp"
#include "model/records/stream_records.hpp"

namespace zentrabo {

struct VideoParameterSets {
    std::optional<Data> vps;  // HEVC only
    Data sps;
    Data pps;

    bool operator==(const VideoParameterSets&) const = default;
};

struct VideoAccessUnit {
    std::vector<std::uint8_t> payload;
    // Present when every parameter set the codec needs came in band.
    std::optional<VideoParameterSets> parameterSets;
    bool holdsIdrSlice = false;

    // A picture a decoder can start at: an IDR slice with its parameter sets.
    bool isKeyFrame() const { return holdsIdrSlice && parameterSets.has_value(); }
};

// Splits an Annex-B access unit of the codec. The first parameter set of
// each type counts.
VideoAccessUnit makeVideoAccessUnit(RemoteScreenStreamVideoCodec codec, std::span<const std::uint8_t> annexB);

}  // namespace zentrabo
