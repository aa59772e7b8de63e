#pragma once
// The one point-in-time type of the program: the clock answers it, records
// carry it on the wire, and the stores keep it.
#include <chrono>
#include <compare>

namespace zentrabo::platform {

// Wall time as seconds since 2001-01-01 00:00:00 UTC, fraction kept.
struct Date {
    // Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
    static constexpr double secondsFromUnixEpochToReferenceDate = 978307200.0;

    double secondsSinceReferenceDate = 0;

    static constexpr Date fromUnixSeconds(double seconds) {
        return Date{seconds - secondsFromUnixEpochToReferenceDate};
    }
    constexpr double unixSeconds() const { return secondsSinceReferenceDate + secondsFromUnixEpochToReferenceDate; }

    // Seconds beyond what the clock's integer count can hold (a damaged stored
    // date) are clamped to its ends instead of overflowing the conversion.
    std::chrono::system_clock::time_point systemTime() const noexcept {
        using Time = std::chrono::system_clock::time_point;
        const std::chrono::duration<double> sinceEpoch(unixSeconds());
        if (!(sinceEpoch < Time::max().time_since_epoch())) return Time::max();
        if (sinceEpoch <= Time::min().time_since_epoch()) return Time::min();
        return Time(std::chrono::duration_cast<Time::duration>(sinceEpoch));
    }

    // A date moved by an interval in seconds, and the interval between two.
    friend constexpr Date operator+(Date date, double seconds) {
        return Date{date.secondsSinceReferenceDate + seconds};
    }
    friend constexpr Date operator-(Date date, double seconds) {
        return Date{date.secondsSinceReferenceDate - seconds};
    }
    friend constexpr double operator-(Date later, Date earlier) {
        return later.secondsSinceReferenceDate - earlier.secondsSinceReferenceDate;
    }

    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

}  // namespace zentrabo::platform
