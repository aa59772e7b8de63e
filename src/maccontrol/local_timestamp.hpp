#pragma once
// The time stamp in the names of files the server makes (screenshots,
// received files without a name).
#include <string>

#include "platform/dispatch/date.hpp"

namespace zentrabo {

// "yyyyMMdd-HHmmss" in the local time zone, ASCII digits whatever the locale.
std::string localTimestamp(platform::Date date);

}  // namespace zentrabo
