#pragma once
// The picture of a reply that carries one screenshot, as a device decodes it.
#include <gtest/gtest.h>

#include "model/records/halvardine_response.hpp"
#include "platform/imaging/jpeg_codec.hpp"

namespace zentrabo::testing {

// The reply's one JPEG screenshot, decoded; an empty image, and a failed
// expectation, when the reply failed or carries another count or type.
inline platform::RgbaImage onlyScreenshot(const HalvardineResponse& response) {
    EXPECT_TRUE(response.ok) << response.error.value_or("");
    if (!response.screenshots || response.screenshots->size() != 1) {
        ADD_FAILURE() << "not one screenshot";
        return {};
    }
    EXPECT_EQ(response.screenshots->front().contentType, "public.jpeg");
    return platform::decodeJpeg(response.screenshots->front().data);
}

}  // namespace zentrabo::testing
