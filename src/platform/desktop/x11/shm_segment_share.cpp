#include "platform/desktop/x11/shm_segment_share.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace zentrabo::platform {

ShmSegmentShare::~ShmSegmentShare() { releaseLocked(); }

std::optional<ShmSegmentShare::Memory> ShmSegmentShare::memoryOf(std::size_t size) {
    if (memory_ && memory_->size >= size) return memory_;
    releaseLocked();
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return std::nullopt;
    // Writable: a cursor is drawn over a picture in place.
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return std::nullopt;
    }
    memory_ = Memory{id, static_cast<std::uint8_t*>(address), size, ++generations_};
    removed_ = false;
    return memory_;
}

void ShmSegmentShare::markRemoved() {
    if (!memory_ || removed_) return;
    shmctl(memory_->id, IPC_RMID, nullptr);
    removed_ = true;
}

void ShmSegmentShare::join() {
    std::lock_guard lock(mutex_);
    ++readers_;
}

void ShmSegmentShare::leave() {
    std::lock_guard lock(mutex_);
    if (--readers_ == 0) releaseLocked();
}

void ShmSegmentShare::releaseLocked() {
    if (!memory_) return;
    shmdt(memory_->bytes);
    if (!removed_) shmctl(memory_->id, IPC_RMID, nullptr);
    memory_.reset();
}

}  // namespace zentrabo::platform
