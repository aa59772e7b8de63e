#include "screenstream/codec/remote_screen_stream_receive_buffer.hpp"

#include <algorithm>

namespace zentrabo {

namespace {

// An empty buffer keeps at most this much memory; a single large frame (up to
// 32 MiB) must not pin its storage for the rest of the stream.
constexpr std::size_t retainedCapacity = 1 << 20;

}  // namespace

void RemoteScreenStreamReceiveBuffer::append(std::span<const std::uint8_t> chunk) {
    if (start_ > 0) {
        storage_.erase(storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    storage_.insert(storage_.end(), chunk.begin(), chunk.end());
}

void RemoteScreenStreamReceiveBuffer::consume(std::size_t count) {
    start_ += std::min(count, size());
    if (start_ == storage_.size()) {
        start_ = 0;
        if (storage_.capacity() > retainedCapacity) {
            std::vector<std::uint8_t>().swap(storage_);
        } else {
            storage_.clear();
        }
    }
}

}  // namespace zentrabo
