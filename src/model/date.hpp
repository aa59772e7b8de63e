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

    static Date fromSystemTime(std::chrono::system_clock::time_point time) noexcept {
        const std::chrono::duration<double> sinceEpoch = time.time_since_epoch();
        return Date{sinceEpoch.count() - kReferenceDateUnixSeconds};
    }

    std::chrono::system_clock::time_point systemTime() const noexcept {
        const std::chrono::duration<double> sinceEpoch(secondsSinceReferenceDate + kReferenceDateUnixSeconds);
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
    }

    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

} // namespace zentrabo
