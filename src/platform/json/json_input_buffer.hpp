#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace zentrabo::platform {

// The text of one JSON document as it arrives from the network, kept where
// the reader parses it. A short text, the usual request, stays in one block
// of ordinary heap memory: mapping and unmapping pages for it would cost more
// system calls than its whole read. A text that outgrows the block moves once
// to mapped pages grown in fixed steps: growing moves pages instead of
// copying bytes, so a large text never needs twice its size on the way, and
// the pages go back to the system the moment the buffer goes. Past the text
// it always keeps the few bytes that the parser reads beyond the end.
class JsonInputBuffer {
public:
    // Texts of up to this many bytes stay in the heap block.
    static constexpr std::size_t heapBlockSize = 16 * 1024;
    // Each growth of the mapped pages adds at least this much room.
    static constexpr std::size_t growthStep = std::size_t{1} << 20;
    // Bytes past the text that the parser may read.
    static constexpr std::size_t padding = 64;

    JsonInputBuffer() noexcept = default;
    JsonInputBuffer(JsonInputBuffer&& other) noexcept;
    JsonInputBuffer& operator=(JsonInputBuffer&& other) noexcept;
    JsonInputBuffer(const JsonInputBuffer&) = delete;
    JsonInputBuffer& operator=(const JsonInputBuffer&) = delete;
    ~JsonInputBuffer();

    std::string_view text() const noexcept { return {data_, size_}; }
    std::size_t size() const noexcept { return size_; }

    // Writable room for count more bytes past the text, grown when there is
    // less. Throws std::bad_alloc when the system gives no more pages.
    std::span<char> room(std::size_t count);
    // Takes count bytes written into the room as part of the text.
    void commit(std::size_t count) noexcept { size_ += count; }
    // Copies the bytes to the end of the text.
    void append(std::string_view bytes);
    // Keeps only the first size bytes of the text.
    void truncate(std::size_t size) noexcept;

private:
    void growMappedPages(std::size_t needed);
    void release() noexcept;

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool isMapped_ = false;
};

}  // namespace zentrabo::platform
