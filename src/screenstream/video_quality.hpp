#pragma once
// The quality a stream's video encoder holds under its bitrate cap, by codec
// and bitrate: at 20 Mbit/s and more there is room for a better one. Used
// when the encoder opens and again after every bitrate cut.
#include <cstdint>

#include "model/records/stream_records.hpp"

namespace zentrabo {

// 0 ... 1, as platform::VideoCompressionSettings takes it.
double streamVideoQuality(RemoteScreenStreamVideoCodec codec, std::int64_t bitrate);

}  // namespace zentrabo
