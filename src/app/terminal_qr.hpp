#pragma once
// A QR code drawn with Unicode half blocks for a terminal.
#include <string>
#include <vector>

#include "platform/imaging/qr_code.hpp"

namespace zentrabo {

// The whole code with its quiet zone, two module rows per text line, dark
// modules as black ink on a white ground given as explicit colours on every
// line, so a camera reads it on light and dark terminals alike, also from a
// pipe. A text line below the last module row treats the missing row as
// light, like the quiet zone.
std::vector<std::string> drawQrCode(const platform::QrCode& code);

}  // namespace zentrabo
