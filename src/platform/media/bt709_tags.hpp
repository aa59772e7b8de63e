#pragma once
// Marks a picture or an encoder as BT.709 in limited range, what the
// converter writes and what the encoders tell decoders.
extern "C" {
#include <libavutil/pixfmt.h>
}

namespace zentrabo::platform {

// For AVFrame and AVCodecContext, which name the tags alike.
template <typename Tagged>
void tagBt709LimitedRange(Tagged& object) {
    object.color_range = AVCOL_RANGE_MPEG;
    object.colorspace = AVCOL_SPC_BT709;
    object.color_primaries = AVCOL_PRI_BT709;
    object.color_trc = AVCOL_TRC_BT709;
}

}  // namespace zentrabo::platform
