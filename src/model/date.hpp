#pragma once
// Records carry the platform's one Date under the model's own namespace.
#include "platform/dispatch/date.hpp"

namespace zentrabo {

using platform::Date;

}  // namespace zentrabo
