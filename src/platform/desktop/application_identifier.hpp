#pragma once
// How a device's name for an application meets the identifiers the
// workspace uses. Desktop file IDs end in ".desktop", but applications and
// window hints name themselves without it ("org.example.App"), and a device
// may send either form.
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// Whether the identifier answers to the requested name: the same text, or
// the identifier is the requested name with ".desktop" after it.
bool identifierAnswers(std::string_view identifier, std::string_view requested);
bool identifierAnswers(const std::optional<std::string>& identifier, std::string_view requested);

}  // namespace zentrabo::platform
