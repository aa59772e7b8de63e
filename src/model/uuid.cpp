#include "model/uuid.hpp"

#include "platform/text/uuid.hpp"

namespace zentrabo {

Uuid Uuid::random() { return Uuid{platform::makeUUIDString()}; }

std::optional<Uuid> Uuid::parse(std::string_view text) {
    auto canonical = platform::canonicalUUIDString(text);
    if (!canonical) return std::nullopt;
    return Uuid{std::move(*canonical)};
}

}  // namespace zentrabo
