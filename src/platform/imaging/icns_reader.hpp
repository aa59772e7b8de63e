#pragma once
// Our own bounded reader of the .icns icon container: a list of entries, each
// a picture of the same icon at one size in one of several encodings.
#include <cstdint>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// True when the data starts with the container's signature "icns".
bool isIcns(std::span<const std::uint8_t> data);

// The largest entry that decodes: PNG entries, "ARGB" entries and the legacy
// run-length-encoded 24-bit entries with their 8-bit masks (opaque without
// one); JPEG 2000 entries and every other kind are skipped. Every declared
// length is checked against what remains of the file before it is read, and
// every size against the limits before pixel memory is allocated; all the
// entries tried together allocate no more pixels than the limits allow one
// picture. Throws
// ImagingError: invalidImage for a file whose lengths run past its end or
// that has no entry that decodes, imageTooLarge when only entries over the
// limits were found.
RgbaImage decodeIcns(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

}  // namespace zentrabo::platform
