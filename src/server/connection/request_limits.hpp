#pragma once
// What one request may cost the server. The application takes the defaults;
// tests lower them to check the rules at small sizes.
#include <cstddef>

#include "platform/json/json_reader.hpp"

namespace zentrabo {

struct RequestLimits {
    // A paired device's request line: a workflow carries about seven files of
    // 25 MiB in Base64, and the line with its parsed text stays far from
    // exhausting memory.
    static constexpr std::size_t defaultPairedLineBytes = std::size_t{256} << 20;
    // Request-line bytes held at once over all connections: a few large
    // requests together, never the whole of memory.
    static constexpr std::size_t defaultLineBytesInFlight = std::size_t{1} << 30;
    // JSON values in one request: neither the parsed document nor the
    // records read from it can grow out of a line of tiny elements.
    static constexpr std::size_t defaultValueCount = platform::kJsonNetworkMaximumValueCount;

    std::size_t pairedLineBytes = defaultPairedLineBytes;
    std::size_t lineBytesInFlight = defaultLineBytesInFlight;
    std::size_t valueCount = defaultValueCount;
};

}  // namespace zentrabo
