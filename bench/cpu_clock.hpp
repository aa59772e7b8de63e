#pragma once
// CPU time spent by this process, by the calling thread, or by a child
// process, so a bench can charge each side only its own work.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace zentrabo::bench {

inline std::chrono::nanoseconds cpuClock(clockid_t clock) {
    timespec time{};
    clock_gettime(clock, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

inline std::chrono::nanoseconds processCpu() { return cpuClock(CLOCK_PROCESS_CPUTIME_ID); }
inline std::chrono::nanoseconds currentThreadCpu() { return cpuClock(CLOCK_THREAD_CPUTIME_ID); }

// User plus system time of another process of ours, from /proc (in clock
// ticks, 10 ms); zero when it cannot be read.
inline std::chrono::nanoseconds childCpu(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return {};
    unsigned long user = 0, system = 0;
    // Fields 14 and 15; the command name in parentheses (field 2) has no
    // space for ffmpeg, the only child measured.
    const int read = std::fscanf(file, "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system);
    std::fclose(file);
    if (read != 2) return {};
    const auto tick = std::chrono::nanoseconds(1'000'000'000 / sysconf(_SC_CLK_TCK));
    return static_cast<long>(user + system) * tick;
}

}  // namespace zentrabo::bench
