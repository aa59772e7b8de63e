#include "platform/desktop/application_identifier.hpp"

namespace zentrabo::platform {

bool identifierAnswers(std::string_view identifier, std::string_view requested) {
    constexpr std::string_view ending = ".desktop";
    if (identifier == requested) return true;
    // An empty request must not name the application whose ID is ".desktop".
    return !requested.empty() && identifier.size() == requested.size() + ending.size() &&
           identifier.starts_with(requested) && identifier.ends_with(ending);
}

bool identifierAnswers(const std::optional<std::string>& identifier, std::string_view requested) {
    return identifier && identifierAnswers(std::string_view(*identifier), requested);
}

}  // namespace zentrabo::platform
