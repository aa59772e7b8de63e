#pragma once
// Records carry the platform's one Uuid under the model's own namespace.
#include "platform/random/uuid.hpp"

namespace zentrabo {

using platform::Uuid;

}  // namespace zentrabo
