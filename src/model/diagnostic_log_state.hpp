#pragma once
// Process-wide state shared by the log writer and the crash handlers; created
// at first use and never released.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace zentrabo::diagnostics {

std::mutex& logLock();
// Set once by the installer; guarded by logLock().
bool& installed();
// -1 until the installer opened the log file. Atomic because the fatal-signal
// handler reads it without the lock.
std::atomic<int>& logDescriptor();
// The size past which the log starts a new file.
std::atomic<std::uint64_t>& logByteLimit();

// Writes all bytes through the descriptor, retrying short writes.
bool writeAll(int descriptor, const char* bytes, std::size_t count) noexcept;

}  // namespace zentrabo::diagnostics
