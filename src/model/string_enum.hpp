#pragma once
// The model's enumerations travel as text through the platform's
// StringEnumTraits (specialised as platform::StringEnumTraits<E>); these
// make its functions the model's own names, found for the model's types.
#include "platform/text/string_enum.hpp"

namespace zentrabo {

using platform::allCases;
using platform::fromRawValue;
using platform::rawValue;
using platform::RawValues;
using platform::StringEnum;
using platform::StringEnumTraits;

}  // namespace zentrabo
