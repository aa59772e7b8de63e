#include "model/build_info.hpp"
#include "model/halvardine_protocol.hpp"

namespace zentrabo {

std::string_view appVersion() { return build::version; }
std::string_view buildNumber() { return build::number; }

}  // namespace zentrabo
