// Feeds arbitrary bytes to the stream frame decoder in chunks, as a socket
// would deliver them, and checks that every frame it returns re-encodes to
// exactly the bytes it consumed, and that errors and short input consume
// nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_require.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace {

using zentrabo::fuzzing::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo;
    if (size == 0) return 0;
    // The first byte picks the chunk size, so partial headers and payloads are explored too.
    const std::size_t chunkSize = data[0] % 64 + 1;
    ++data;
    --size;

    RemoteScreenStreamReceiveBuffer buffer;
    std::size_t delivered = 0;
    std::size_t consumed = 0;
    while (delivered < size) {
        const std::size_t count = std::min(chunkSize, size - delivered);
        buffer.append({data + delivered, count});
        delivered += count;
        try {
            while (auto frame = RemoteScreenStreamWire::nextFrame(buffer)) {
                require(frame->payload.size() <= RemoteScreenStreamWire::maximumPayloadLength);
                const auto encoded = RemoteScreenStreamWire::encode(*frame);
                require(encoded.size() <= delivered - consumed);
                require(std::memcmp(encoded.data(), data + consumed, encoded.size()) == 0);
                consumed += encoded.size();
            }
        } catch (const RemoteScreenStreamWireError&) {
            require(buffer.size() == delivered - consumed);  // a bad header consumes nothing
            return 0;
        }
        require(buffer.size() == delivered - consumed);
    }
    return 0;
}
