#pragma once
// The shared memory that the MIT-SHM pictures of several connections to one
// display go through in turn. A display-sized segment is megabytes, and
// every capture stream of the display would otherwise keep one of its own;
// a picture is needed only from its grab until it has been converted out of
// the segment, so the streams take turns on one. Each reader attaches the
// memory on its own connection; the memory is made on the first picture,
// made anew (larger) when a picture needs more room, and let go when its
// last reader goes, so a display with no capture keeps none.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

namespace zentrabo::platform {

class ShmSegmentShare {
public:
    // A System V segment attached in this process.
    struct Memory {
        int id = -1;
        std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
        // Counts the segments made, so a reader knows when its server
        // attachment names one that is gone.
        std::uint64_t generation = 0;
    };

    ShmSegmentShare() = default;
    ~ShmSegmentShare();
    ShmSegmentShare(const ShmSegmentShare&) = delete;
    ShmSegmentShare& operator=(const ShmSegmentShare&) = delete;

    // Taken from before a picture is grabbed until its reader is done with
    // the pixels: the next grab, on any connection, overwrites them.
    std::unique_lock<std::mutex> hold() { return std::unique_lock(mutex_); }

    // The memory, of at least size bytes; none when the system refuses it.
    // With the hold.
    std::optional<Memory> memoryOf(std::size_t size);
    // Once a server has attached the memory: the system then frees it when
    // the last attachment goes, even if this process is killed. Linux lets
    // other connections' servers attach it after that. With the hold.
    void markRemoved();

    // A reader comes and goes; the memory is let go with the last one.
    void join();
    void leave();

private:
    void releaseLocked();

    std::mutex mutex_;
    // Guarded by mutex_.
    std::optional<Memory> memory_;
    bool removed_ = false;
    std::uint64_t generations_ = 0;
    std::size_t readers_ = 0;
};

}  // namespace zentrabo::platform
