#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zentrabo {

// The bytes a stream reader has received but not yet decoded. Consuming a
// frame advances a start offset instead of moving the rest to the front, so
// a chunk holding many small frames costs linear time, not quadratic; the
// consumed prefix is dropped when the next chunk arrives.
class RemoteScreenStreamReceiveBuffer {
public:
    void append(std::span<const std::uint8_t> chunk);

    // The bytes not yet consumed.
    std::span<const std::uint8_t> bytes() const { return {storage_.data() + start_, storage_.size() - start_}; }
    std::size_t size() const { return storage_.size() - start_; }
    bool empty() const { return size() == 0; }

    // Removes count bytes (at most size()) from the front.
    void consume(std::size_t count);

private:
    std::vector<std::uint8_t> storage_;
    std::size_t start_ = 0;
};

}  // namespace zentrabo
