#pragma once
// A bench whose stream session the server refused would wait for its
// frames forever: it says why and ends at once instead.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace zentrabo::bench {

inline void exitIfRefused(const std::optional<std::string_view>& refusal) {
    if (!refusal) return;
    std::fprintf(stderr, "the stream server refused the session: %.*s\n", static_cast<int>(refusal->size()),
                 refusal->data());
    std::_Exit(1);
}

}  // namespace zentrabo::bench
