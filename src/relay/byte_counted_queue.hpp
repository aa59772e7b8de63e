#pragma once
// A first-in first-out queue that keeps the count of the bytes its items
// hold, so a bound on what waits is one comparison and the count cannot drift
// from what the queue holds. bytesOf gives the size of one item.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace zentrabo {

template <class Item, std::size_t (*bytesOf)(const Item&)>
class ByteCountedQueue {
public:
    bool empty() const { return items_.empty(); }
    std::size_t bytes() const { return bytes_; }
    const Item& front() const { return items_.front(); }

    void push(Item item) {
        bytes_ += bytesOf(item);
        items_.push_back(std::move(item));
    }

    Item pop() {
        Item item = std::move(items_.front());
        items_.pop_front();
        bytes_ -= bytesOf(item);
        return item;
    }

    template <class Predicate>
    void eraseIf(Predicate predicate) {
        for (const Item& item : items_) {
            if (predicate(item)) bytes_ -= bytesOf(item);
        }
        std::erase_if(items_, predicate);
    }

    void clear() {
        items_.clear();
        bytes_ = 0;
    }

private:
    std::deque<Item> items_;
    std::size_t bytes_ = 0;
};

inline std::size_t sizeOfBytes(const std::vector<std::uint8_t>& bytes) { return bytes.size(); }

}  // namespace zentrabo
