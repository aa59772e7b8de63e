#pragma once
// A QR code drawn with Unicode half blocks for a terminal.
#include <string>
#include <vector>

#include "platform/imaging/qr_code.hpp"

namespace zentrabo {

// The whole code with its quiet zone, two module rows per text line. Light
// modules are drawn as ink, so that on the usual light-on-dark terminal the
// code reads dark on light, as scanners expect; a text line below the last
// module row treats the missing row as light, like the quiet zone.
std::vector<std::string> drawQrCode(const platform::QrCode& code);

}  // namespace zentrabo
