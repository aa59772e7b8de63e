#include "platform/json/json_input_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace zentrabo::platform {
namespace {

std::size_t pageSize() noexcept {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t roundUpToPages(std::size_t bytes) noexcept {
    const std::size_t page = pageSize();
    return (bytes + page - 1) / page * page;
}

}  // namespace

JsonInputBuffer::JsonInputBuffer(JsonInputBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      isMapped_(std::exchange(other.isMapped_, false)) {}

JsonInputBuffer& JsonInputBuffer::operator=(JsonInputBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        isMapped_ = std::exchange(other.isMapped_, false);
    }
    return *this;
}

JsonInputBuffer::~JsonInputBuffer() { release(); }

void JsonInputBuffer::release() noexcept {
    if (isMapped_) {
        munmap(data_, capacity_);
    } else {
        delete[] data_;
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    isMapped_ = false;
}

std::span<char> JsonInputBuffer::room(std::size_t count) {
    const std::size_t needed = size_ + count + padding;
    if (needed > capacity_) {
        if (!data_ && needed <= heapBlockSize + padding) {
            data_ = new char[heapBlockSize + padding];
            capacity_ = heapBlockSize + padding;
        } else {
            growMappedPages(needed);
        }
    }
    return {data_ + size_, count};
}

void JsonInputBuffer::growMappedPages(std::size_t needed) {
    const std::size_t capacity = roundUpToPages(std::max(needed, (isMapped_ ? capacity_ : 0) + growthStep));
    void* pages = isMapped_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                            : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    if (!isMapped_) {
        // The one copy a text makes: out of the heap block it outgrew.
        if (size_ > 0) std::memcpy(pages, data_, size_);
        delete[] data_;
        isMapped_ = true;
    }
    data_ = static_cast<char*>(pages);
    capacity_ = capacity;
}

void JsonInputBuffer::append(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(room(bytes.size()).data(), bytes.data(), bytes.size());
    commit(bytes.size());
}

void JsonInputBuffer::truncate(std::size_t size) noexcept { size_ = std::min(size, size_); }

}  // namespace zentrabo::platform
