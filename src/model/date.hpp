#pragma once

#include <chrono>
#include <compare>

namespace zentrabo {

// A point in time as the wire carries it: seconds since 2001-01-01 00:00:00
// UTC, fraction kept.
struct Date {
    // Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
    static constexpr double kReferenceDateUnixSeconds = 978307200.0;

    double secondsSinceReferenceDate = 0;

    // Seconds beyond what the clock's integer count can hold (a damaged stored
    // date) are clamped to its ends instead of overflowing the conversion.
    std::chrono::system_clock::time_point systemTime() const noexcept {
        using Time = std::chrono::system_clock::time_point;
        const std::chrono::duration<double> sinceEpoch(secondsSinceReferenceDate + kReferenceDateUnixSeconds);
        if (!(sinceEpoch < Time::max().time_since_epoch())) return Time::max();
        if (sinceEpoch <= Time::min().time_since_epoch()) return Time::min();
        return Time(std::chrono::duration_cast<Time::duration>(sinceEpoch));
    }

    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

}  // namespace zentrabo
